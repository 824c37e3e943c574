#pragma once

#include "platform/Updater.h"

#include <memory>

namespace tess {

class DefaultsStore;

// The updater of this build: updates come from the system's package manager,
// so it can never check. Its two settings are kept in the user defaults under
// keys of their own, beside the preferences document.
class NullUpdater final : public Updater {
public:
    static constexpr const char* kChecksKey = "app.quenby.Tessaline.automaticallyChecksForUpdates";
    static constexpr const char* kDownloadsKey = "app.quenby.Tessaline.automaticallyDownloadsUpdates";

    explicit NullUpdater(std::shared_ptr<DefaultsStore> defaults);

    bool canCheckForUpdates() const override { return false; }
    void checkForUpdates() override { }

    bool automaticallyChecksForUpdates() const override;
    void setAutomaticallyChecksForUpdates(bool enabled) override;
    bool automaticallyDownloadsUpdates() const override;
    void setAutomaticallyDownloadsUpdates(bool enabled) override;

    // The value never changes, so nobody is ever told.
    void setCanCheckObserver(std::function<void(bool)>) override { }

private:
    bool read(const char* key) const;
    void write(const char* key, bool value);

    std::shared_ptr<DefaultsStore> m_defaults;
};

}  // namespace tess
