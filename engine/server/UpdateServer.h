#pragma once

#include "job/UpdateJob.h"

#include <memory>
#include <string>

namespace brelvo {

// The engine object the window drives. Construction starts nothing; start()
// launches the listener on UDP 3281 (after an ICMP sweep of the local /24).
// All public calls are made from one thread (the window's); the listener and
// the job workers run on their own threads.
class UpdateServer {
public:
    static constexpr int kMaxJobs = 100;

    UpdateServer();
    ~UpdateServer();                   // stops and joins everything it started
    UpdateServer(const UpdateServer&) = delete;
    UpdateServer& operator=(const UpdateServer&) = delete;

    // 0 on success, -1 when a listener is still active or no thread could
    // be made. Texts are UTF-8; options are OptionUpdateBoot | OptionEraseBoot.
    int start(const std::string& firmwareDir, const std::string& configPath,
              const std::string& localAddress, int options);
    void stop();
    bool isIdle() const;
    int jobCount() const;
    // The job at `index` (0 .. jobCount()-1), or null. The returned
    // reference stays valid however the table changes afterwards.
    std::shared_ptr<UpdateJob> jobAt(int index) const;
    void pruneFinished();

    // (implementation members follow; see UpdateServer.cpp)
};

} // namespace brelvo
