#pragma once

namespace tess {

// The system alert sound, behind an interface so tests can count beeps.
class SystemSound {
public:
    virtual ~SystemSound() = default;
    virtual void beep() = 0;

    // QApplication::beep. Shared; lives for the whole run.
    static SystemSound& standard();
};

}  // namespace tess
