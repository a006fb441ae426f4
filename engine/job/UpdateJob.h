#pragma once

#include "JobStatus.h"

#include <cstdint>
#include <memory>
#include <string>

namespace brelvo {

// One device's update: the record the window polls and the worker thread
// that talks to the device. Records are shared: the server's table, the
// window (through UpdateServer::jobAt) and the worker each hold a
// reference, so a record is never freed under a reader or its own worker.
class UpdateJob {
public:
    // A job from a received update request (magic "upd:", type 0). Returns
    // null for anything else. The product code is taken from the payload,
    // never reading past `length` bytes.
    static std::shared_ptr<UpdateJob> create(const uint8_t* datagram, int length);

    // Addresses and ports in network byte order, as the sockets give them.
    void init(const std::string& firmwarePath, const std::string& configPath,
              uint32_t localAddr, uint16_t port, uint32_t lentAddr,
              uint16_t devicePort, uint8_t options);

    // Starts the worker. 0 on success; -1 when no thread could be made, in
    // which case the job is finished with NetError so the server can go idle.
    int start();

    bool isFinished() const;
    int statusCode() const;
    int progress() const;              // 0..100
    std::string lentAddressText() const;
    void stop();                       // the worker ends at its next check
    void release();                    // drops the table's hold on the job

    // (implementation members follow; see UpdateJob.cpp)
};

} // namespace brelvo
