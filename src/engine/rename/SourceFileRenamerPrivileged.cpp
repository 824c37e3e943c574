// The privileged calls of one batch: once the helper is unavailable, it is
// not asked again.

#include "rename/SourceFileRenamer.h"

#include "log/AppLogger.h"

#include <memory>
#include <mutex>
#include <optional>
#include <utility>

namespace tess {

namespace {

using Reply = SourceFileRenamer::PrivilegedReply;

// Time-outs in a row that end the helper's part in a batch: the first may
// be a password prompt the user has not answered yet; after a second, a
// helper that hangs would cost every remaining item the whole time-out.
constexpr int kTimeOutsInARow = 2;

// What the calls of one batch share: the reply that ended the helper's
// part in it, if one did.
struct Gate {
    std::mutex mutex;
    std::optional<Reply> unavailable;
    int timeOutsInARow = 0;

    std::optional<Reply> stopped()
    {
        std::lock_guard lock(mutex);
        return unavailable;
    }

    void note(const Reply& reply)
    {
        std::lock_guard lock(mutex);
        timeOutsInARow = reply.timedOut ? timeOutsInARow + 1 : 0;
        if (!reply.helperUnavailable && timeOutsInARow < kTimeOutsInARow) {
            return;
        }
        if (!unavailable) {
            unavailable = reply;
            TESS_LOG_WARN("⚠️ The privileged helper is unavailable for the rest of this batch; its remaining steps fail without asking it again: "
                + reply.message);
        }
    }
};

template <class... Paths>
std::function<Reply(Paths...)> guarded(std::function<Reply(Paths...)> call, const std::shared_ptr<Gate>& gate)
{
    if (!call) {
        return call;
    }
    return [call = std::move(call), gate](Paths... paths) {
        if (std::optional<Reply> stopped = gate->stopped()) {
            return *stopped;
        }
        Reply reply = call(paths...);
        gate->note(reply);
        return reply;
    };
}

}  // namespace

SourceFileRenamer::PrivilegedCalls SourceFileRenamer::untilUnavailable(PrivilegedCalls calls)
{
    const auto gate = std::make_shared<Gate>();
    return {guarded(std::move(calls.rename), gate), guarded(std::move(calls.createDirectory), gate),
        guarded(std::move(calls.removeDirectory), gate), guarded(std::move(calls.applyAttributes), gate)};
}

}  // namespace tess
