#pragma once

#include "JobStatus.h"
#include "platform/Socket.h"
#include "platform/Thread.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace brelvo {

// One device's update: the record the window polls and the worker thread
// that talks to the device. Records are shared: the server's table, the
// window (through UpdateServer::jobAt) and the worker each hold a
// reference, so a record is never freed under a reader or its own worker.
class UpdateJob : public std::enable_shared_from_this<UpdateJob> {
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

    ~UpdateJob();                      // ends and joins a worker still running
    UpdateJob(const UpdateJob&) = delete;
    UpdateJob& operator=(const UpdateJob&) = delete;

    // ---- Worker steps. run() is the whole worker; the steps are public so
    // that the exchange can be driven piece by piece (tests, fuzzers). ----

    // The worker body: load, open the socket, broadcast the Offer, serve.
    void run();
    // Loading step: version file, image, configuration. 0 on success; on
    // failure -1 with the status set as the failure demands.
    int loadFirmware();
    // Appends the configuration file masked; the new image length, 0 when
    // nothing was appended, -1 when the image failed its checksum.
    int64_t appendConfig(const std::string& path);
    // Uses `bytes` as the loaded image with `checksum` (instead of files).
    void loadImage(const uint8_t* bytes, size_t length, uint32_t checksum);
    // Creates and binds the job's UDP socket on `port`; status 1 on
    // success; status 11 and -1 on failure.
    int openSocket();
    // Hands the job its socket, already bound on `port`, before start():
    // openSocket() then uses it instead of binding the number again, so no
    // other socket can take the number in between. The job closes it.
    void reserveSocket(SocketHandle s);
    // Uses an already bound socket instead of openSocket(); status 1.
    void adoptSocket(SocketHandle s);
    // Broadcasts the Offer to the device's port and aims `peer` at the lent
    // address.
    void broadcastOffer();
    // The receive loop: ends after 40 s of silence, on a receive failure
    // (status 11) or when running is found 0 after a datagram. Closes the
    // socket and sets finished when it ends.
    void serve();
    // The block phase: 0 when every block was acknowledged and End sent,
    // -1 when it gave up (no answer, or stopped).
    int sendBlocks();

    // What the receive loop must do after one datagram.
    enum class Reaction {
        None,          // nothing to send
        SendSize,      // send the Size message to peer
        RunBlockPhase, // run sendBlocks()
        ReportProgress // write the progress text to the debug output
    };
    // Applies one received datagram to the job's state (status, peer,
    // counters, finished) without any I/O and says what to do next. Only a
    // datagram that begins with "upd:" moves peer.
    Reaction handleDatagram(const uint8_t* data, size_t length, const SocketAddress& source);
    // Block-phase accounting of one datagram: moves peer when it begins
    // with "upd:", and counts a BlockAck of a block not yet acknowledged.
    // True when a new block was counted.
    bool accountBlockAck(const uint8_t* data, size_t length, const SocketAddress& source);
    // Starts a block phase's counting: ackedBlocks 0 (ackFlags are kept).
    void beginBlockPhase();

    // Read-outs. The image and the acknowledgement flags are the worker's:
    // read them only while no worker runs; they are emptied when it ends.
    const std::string& productCodeText() const { return productCode; }
    SocketAddress peerAddress() const { return peer; }
    uint16_t boundPort() const { return port; }
    uint32_t checksumValue() const { return checksum; }
    uint32_t imageSize() const { return imageLength.load(); }
    int blockTotal() const { return blockCount.load(); }
    int acknowledgedBlocks() const { return ackedBlocks.load(); }
    bool blockAcknowledged(int index) const;
    const std::vector<uint8_t>& imageBytes() const { return image; }
    int writtenCount() const { return writeDone.load(); }
    int writeTotalCount() const { return writeTotal.load(); }
    bool isRunning() const { return running.load() != 0; }
    // The progress text the worker writes to the debug output.
    std::string progressText() const;

    // Ends the worker for good (also while it loads or waits) and joins it.
    // Used when the owner goes away.
    void shutdown();
    // True once the worker thread has done its last step (or never ran).
    bool workerEnded() const { return workerDone.load(); }

private:
    UpdateJob();
    void finishWorker();
    void sendFromBuffer(size_t length);
    // Waits for one datagram on `sock` up to `timeoutMs`: -1 failure, 0
    // time-out (or shutdown), 1 a datagram of *received bytes (maybe 0).
    int awaitDatagram(int timeoutMs, int* received, SocketAddress* source);

    std::string firmwarePath;
    std::string configPath;
    uint32_t localAddr = 0;
    uint16_t port = 0;
    std::atomic<uint32_t> lentAddr{0};
    uint16_t devicePort = 0;
    std::string productCode;
    uint8_t options = 0;
    SocketHandle sock = kInvalidSocket;
    SocketAddress peer;
    std::atomic<int32_t> status{Accepted};
    Thread thread;
    std::vector<uint8_t> buffer;
    std::atomic<uint8_t> finished{0};
    std::atomic<uint8_t> running{0};
    std::vector<uint8_t> ackFlags;
    std::atomic<bool> ackFlagsPresent{false};
    std::atomic<int32_t> ackedBlocks{0};
    std::vector<uint8_t> image;
    std::atomic<int32_t> blockCount{0};
    std::atomic<uint32_t> imageLength{0};
    uint32_t checksum = 0;
    std::atomic<int32_t> writeTotal{0};
    std::atomic<int32_t> writeDone{0};

    bool started = false;
    std::atomic<bool> abortWorker{false};
    std::atomic<bool> workerDone{true};
};

} // namespace brelvo
