// The view model as an unprivileged user runs it: started as root, this
// program becomes the user named by its arguments before anything else,
// then drives the real MonitorViewModel (and the real daemon status, which
// pings the daemon) on requests read line by line from its standard input:
//
//   open <folder>   select the folder, scan it for NTFS; answers the rows
//   rename          rename every row; answers the result
//   undo <file>     undo the batch of that history file; answers the result
//
// Answers are "key<TAB>value" lines (values escaped as ChildProgram does),
// ended by a line ".". Arguments: uid gid groups (comma-separated) socket.

#include "ChildProgram.h"
#include "EventLoopWait.h"
#include "FakeFolderPicker.h"
#include "FakeServiceManager.h"
#include "model/HelperStatusManager.h"
#include "model/MonitorViewModel.h"
#include "model/SettingsManager.h"
#include "plist/NotificationCenter.h"
#include "rules/FilesystemPreset.h"
#include "rules/OSPreset.h"
#include "settings/DefaultsStore.h"

#include <QCoreApplication>
#include <QThreadPool>

#include <cstdlib>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using tess::test::ChildProgram;

std::vector<gid_t> groupsFrom(const std::string& list)
{
    std::vector<gid_t> groups;
    std::stringstream in(list);
    for (std::string group; std::getline(in, group, ',');) {
        if (!group.empty()) {
            groups.push_back(static_cast<gid_t>(std::stoul(group)));
        }
    }
    return groups;
}

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

void say(const std::string& key, const std::string& value)
{
    std::cout << key << '\t' << ChildProgram::escape(value) << '\n';
}

void done()
{
    std::cout << ".\n"
              << std::flush;
}

class Session {
public:
    explicit Session(const std::string& socket)
    {
        m_settings = std::make_unique<tess::SettingsManager>(
            std::make_shared<tess::DefaultsStore>(environment("XDG_CONFIG_HOME") + "/defaults.plist"));
        m_settings->updateSettings([](tess::AppSettings& settings) {
            settings.preferences.activeSettings
                = tess::TransformationSettings::make(tess::FilesystemPreset::ntfs, false, {tess::OSPreset::windows});
            settings.preferences.usePrivilegedHelper = true;
        });
        auto services = std::make_shared<tess::test::FakeServiceManager>();
        services->setStatus(tess::ServiceStatus::enabled);
        tess::HelperStatusManager::Dependencies helper;
        helper.serviceManager = services;
        helper.socketPath = socket;
        helper.homeFolder = [] { return environment("HOME"); };
        helper.openLoginItems = [] {};
        helper.sleep = [](std::chrono::milliseconds) {};
        m_helper = std::make_unique<tess::HelperStatusManager>(std::move(helper));

        tess::MonitorViewModel::Dependencies dependencies;
        dependencies.settingsManager = m_settings.get();
        dependencies.dataFolder = environment("XDG_DATA_HOME") + "/app.quenby.Tessaline";
        dependencies.folderPicker = m_picker;
        dependencies.notificationCenter = &m_center;
        dependencies.isHelperReady = [this] { return m_helper->isHelperReady(); };
        dependencies.rename.helperSocketPath = socket;
        m_model = std::make_unique<tess::MonitorViewModel>(std::move(dependencies));
    }

    ~Session()
    {
        m_model.reset();
        QThreadPool::globalInstance()->waitForDone();
    }

    void open(const std::string& folder)
    {
        bool refreshed = false;
        m_helper->refreshStatus([&refreshed] { refreshed = true; });
        tess::test::waitUntil([&] { return refreshed; });
        say("helperReady", m_helper->isHelperReady() ? "yes" : "no");
        m_picker->answers.push_back(folder);
        m_model->selectSourceFolder();
        m_model->startMonitoring();
        const bool scanned = tess::test::waitUntil([&] {
            return m_model->monitoringStatus().kind() == tess::MonitoringStatus::Kind::monitoring && m_model->lastScanSummary()
                && m_model->issueFiles().size() == static_cast<std::size_t>(m_model->issueCount());
        });
        say("scanned", scanned ? "yes" : "no");
        for (const tess::IndexedFile& item : m_model->issueFiles()) {
            say("row", item.relativePath + "\t" + item.proposedRename.value_or(""));
        }
    }

    void rename()
    {
        tess::ItemIdSet all;
        for (const tess::IndexedFile& item : m_model->issueFiles()) {
            all.insert(item.id);
        }
        m_model->setSelectedFileIDs(all);
        m_model->renameSelected();
        finish();
    }

    void undo(const std::string& history)
    {
        m_model->undoRename(history);
        finish();
    }

private:
    // Waits for the batch and tells its result.
    void finish()
    {
        tess::test::waitUntil([&] { return !m_model->isRenaming(); }, 120s);
        say("title", m_model->renameResultTitle());
        say("message", m_model->renameResultMessage());
        if (const auto& report = m_model->renameReport()) {
            for (const auto& failure : report->failed) {
                say("failed", failure.path + "\t" + failure.error);
            }
            say("history", report->historyPath.value_or(""));
        }
        // The scan a batch requests runs before the next request.
        tess::test::waitUntil([&] { return m_model->monitoringStatus().kind() == tess::MonitoringStatus::Kind::monitoring; });
    }

    std::unique_ptr<tess::SettingsManager> m_settings;
    std::unique_ptr<tess::HelperStatusManager> m_helper;
    std::shared_ptr<tess::test::FakeFolderPicker> m_picker = std::make_shared<tess::test::FakeFolderPicker>();
    tess::NotificationCenter m_center;
    std::unique_ptr<tess::MonitorViewModel> m_model;
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::cerr << "usage: " << argv[0] << " uid gid groups socket\n";
        return 2;
    }
    // Before anything else runs: from here on, the user's rights only.
    if (!ChildProgram::becomeUser(static_cast<uid_t>(std::stoul(argv[1])), static_cast<gid_t>(std::stoul(argv[2])),
            groupsFrom(argv[3]))) {
        std::cerr << "could not become the user\n";
        return 3;
    }
    const std::string socket = argv[4];
    int qtArgc = 1;
    QCoreApplication application(qtArgc, argv);
    Session session(socket);
    for (std::string request; std::getline(std::cin, request);) {
        const auto space = request.find(' ');
        const std::string verb = request.substr(0, space);
        const std::string argument = space == std::string::npos ? std::string() : ChildProgram::unescape(request.substr(space + 1));
        if (verb == "open") {
            session.open(argument);
        } else if (verb == "rename") {
            session.rename();
        } else if (verb == "undo") {
            session.undo(argument);
        } else {
            say("error", "unknown request " + verb);
        }
        done();
    }
    return 0;
}
