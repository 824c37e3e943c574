#include "ui/widgets/SystemSound.h"

#include <QApplication>

namespace tess {

namespace {

class ApplicationBeep final : public SystemSound {
public:
    void beep() override { QApplication::beep(); }
};

}  // namespace

SystemSound& SystemSound::standard()
{
    static ApplicationBeep sound;
    return sound;
}

}  // namespace tess
