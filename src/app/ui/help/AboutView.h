#pragma once

#include "ui/help/BundleInfo.h"

#include <QString>
#include <QVariantMap>
#include <QWidget>

#include <functional>

class QLabel;
class QToolButton;
class QVBoxLayout;
class QVariantAnimation;

namespace tess {

class Workspace;

// The About box: the application icon, the name, the version and build, the
// copyright, the website link, the acknowledgments of the libraries the
// application links (shown on demand, the box growing from 320 to 480 high
// over 0.2 s) and "Close", the default button (Return).
class AboutView : public QWidget {
    Q_OBJECT

public:
    static constexpr const char* kWebsiteAddress = "https://quenby.example/tessaline";
    static constexpr const char* kLicensesAddress = "https://quenby.example/tessaline/licenses";
    // The title of every window or sheet that shows the box.
    static constexpr const char* kWindowTitle = "About Tessaline";
    // The resource path of the application icon (its resources registered
    // on the first call), for the About box, the windows and the tray.
    static const QString& applicationIconResource();

    // `close` is called when the box is to go away (its window closes or its
    // sheet is dismissed). Links open through `workspace`, which must outlive
    // the view. `info` is the bundle-information map ("version", "build").
    AboutView(std::function<void()> close, Workspace& workspace, const QVariantMap& info = bundleInfo(),
        QWidget* parent = nullptr);

    bool acknowledgmentsShown() const { return m_acknowledgmentsShown; }

protected:
    void changeEvent(QEvent* event) override;

private:
    void addTitleBlock(QVBoxLayout& layout, const QVariantMap& info);
    void addCloseButton(QVBoxLayout& layout);
    void setUpHeightAnimation();
    QWidget* makeAcknowledgments();
    QToolButton* makeLinkButton(const QString& text, const QFont& font);
    void toggleAcknowledgments();
    // The box's height for the acknowledgments' state: 320 or 480, more only
    // when the content needs it.
    int fittingHeight(bool acknowledgmentsShown) const;
    // Opens `address` in the default browser when it forms a URL.
    void openAddress(const QString& address);
    void applyColors();

    std::function<void()> m_close;
    Workspace& m_workspace;
    bool m_acknowledgmentsShown = false;
    QWidget* m_box;
    QToolButton* m_websiteButton = nullptr;
    QToolButton* m_toggleButton = nullptr;
    QToolButton* m_licenseButton = nullptr;
    QWidget* m_acknowledgments = nullptr;
    QVariantAnimation* m_animation;
};

}  // namespace tess
