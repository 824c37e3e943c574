#pragma once

#include <QLabel>

namespace tess {

// The title that opens a card of the settings sheet: plain text in the
// headline style (the body size, bold) and the primary colour.
class HeaderView : public QLabel {
    Q_OBJECT

public:
    explicit HeaderView(const QString& title, QWidget* parent = nullptr);
};

}  // namespace tess
