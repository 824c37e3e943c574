#include "plist/NotificationCenter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace tess {
namespace {

using Notification = NotificationCenter::Notification;

TEST(NotificationCenter, PostReachesTheObserversOfThatNameInOrderOnThePostingThread)
{
    NotificationCenter center;
    std::vector<std::string> calls;
    const auto poster = std::this_thread::get_id();
    center.addObserver("A", [&](const Notification& n) {
        EXPECT_EQ(std::this_thread::get_id(), poster);
        calls.push_back("first " + n.name + " " + *n.userInfo.at("k").asString());
    });
    center.addObserver("B", [&](const Notification& n) { calls.push_back("other " + n.name); });
    center.addObserver("A", [&](const Notification&) { calls.push_back("second"); });

    center.post("A", {{"k", "v"}});

    EXPECT_EQ(calls, (std::vector<std::string> {"first A v", "second"}));
}

TEST(NotificationCenter, RemovedObserversAreNotCalled)
{
    NotificationCenter center;
    int calls = 0;
    auto token = center.addObserver("A", [&](const Notification&) { ++calls; });
    center.post("A");
    center.removeObserver(token);
    center.removeObserver(token);  // twice, and unknown tokens, are harmless
    center.removeObserver(12345);
    center.post("A");
    EXPECT_EQ(calls, 1);
}

TEST(NotificationCenter, ObserversMayChangeRegistrationsDuringAPost)
{
    NotificationCenter center;
    std::vector<std::string> calls;
    NotificationCenter::Token self = 0;
    NotificationCenter::Token later = 0;
    self = center.addObserver("A", [&](const Notification&) {
        calls.push_back("self");
        center.removeObserver(self);
        center.removeObserver(later);
        center.addObserver("A", [&](const Notification&) { calls.push_back("added"); });
    });
    center.addObserver("A", [&](const Notification&) { calls.push_back("kept"); });
    later = center.addObserver("A", [&](const Notification&) { calls.push_back("removed by another"); });

    center.post("A");
    EXPECT_EQ(calls, (std::vector<std::string> {"self", "kept"}));

    calls.clear();
    center.post("A");
    EXPECT_EQ(calls, (std::vector<std::string> {"kept", "added"}));
}

TEST(NotificationCenter, ObserversMayPostFromInsideACallback)
{
    NotificationCenter center;
    std::vector<std::string> calls;
    center.addObserver("outer", [&](const Notification&) {
        calls.push_back("outer");
        center.post("inner");
    });
    center.addObserver("inner", [&](const Notification&) { calls.push_back("inner"); });
    center.post("outer");
    EXPECT_EQ(calls, (std::vector<std::string> {"outer", "inner"}));
}

TEST(NotificationCenter, PostsAndRegistrationsFromSeveralThreadsAreSafe)
{
    NotificationCenter center;
    std::atomic<int> calls {0};
    center.addObserver("A", [&](const Notification&) { ++calls; });
    std::vector<std::thread> posters;
    for (int t = 0; t < 4; ++t) {
        posters.emplace_back([&] {
            for (int i = 0; i < 500; ++i) {
                center.post("A", {{"i", i}});
            }
        });
    }
    for (int i = 0; i < 500; ++i) {
        center.removeObserver(center.addObserver("A", [](const Notification&) {}));
    }
    for (auto& poster : posters) {
        poster.join();
    }
    EXPECT_EQ(calls.load(), 2000);
}

TEST(NotificationCenter, DefaultCenterIsOneSharedInstance)
{
    EXPECT_EQ(&NotificationCenter::defaultCenter(), &NotificationCenter::defaultCenter());
}

}  // namespace
}  // namespace tess
