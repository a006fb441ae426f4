// SPDX-License-Identifier: MIT
#pragma once

#include "firmware/FirmwareDescriptor.h"
#include "platform/Error.h"
#include "platform/FileIdentity.h"

#include <cstddef>
#include <cstdint>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace brelvo {

// A configuration shorter than this is refused.
constexpr uint64_t kMinConfigBytes = 65536;
// An image with its configuration appended may not be longer than this.
constexpr uint64_t kMaxImageWithConfigBytes = 16777216;
// A device is told an image's size in 32 bits.
constexpr uint64_t kMaxImageBytes = UINT32_MAX;

// Error::code of a failed prepare(): the status its job ends with. These are
// the job's own numbers; firmware comes before job in the folder order, so
// the server checks that they agree.
constexpr int kPrepareModelMismatch = 12;
constexpr int kPrepareFileError = 13;
constexpr int kPrepareStopped = 15;

// The bytes a job sends, shared read-only by every job sending the same.
struct PreparedImage {
    std::vector<uint8_t> bytes;  // the image, or the image and its masked configuration
    uint32_t checksum = 0;       // as sent in End
    bool withConfig = false;
    // The files it was made from, as found when they were read (config:
    // all zero without a configuration).
    FileIdentity image;
    FileIdentity version;
    FileIdentity config;
};

// Prepares the bytes of a job: version file check, image, masked
// configuration, checksum. Jobs asking for the same files (by identity) share
// one buffer, read once even when they ask at the same time; the store holds
// only weak references, so a buffer goes with its last job, and a file
// changed on disk gives the next job a new one. Safe from several threads.
class ImageStore {
public:
    // File times have a coarse grain: a buffer made within `settleNs` of its
    // files' last change is read again for the next job (and kept if equal).
    static constexpr int64_t kDefaultSettleNs = 1000000000;
    explicit ImageStore(int64_t settleNs = kDefaultSettleNs);

    // A job's loading step: the version file (every ".bin" of the image path
    // made "-ver.bin") must name no other product (else kPrepareModelMismatch)
    // and gives the checksum. A configuration, when named, must be appended:
    // every reason it cannot be is a kPrepareFileError, never the image alone.
    // Empty on failure, with the reason (one line, naming the file) in `error`.
    // `stop` is asked between blocks: true abandons the read (kPrepareStopped).
    std::shared_ptr<const PreparedImage> prepare(const std::string& imagePath, const std::string& productCode,
                                                 const std::string& configPath, Error* error = nullptr,
                                                 const StopCheck& stop = {});

    // Buffers some job still holds.
    size_t liveImages() const;
    // Times an image was read from disk so far.
    uint64_t imageReads() const;

    ImageStore(const ImageStore&) = delete;
    ImageStore& operator=(const ImageStore&) = delete;

private:
    struct Key {
        FileIdentity version;
        FileIdentity image;
        bool withConfig = false;
        FileIdentity config;
        bool operator<(const Key& o) const;
    };
    // What one read of the files made: the buffer, or why there is none.
    struct Outcome {
        std::shared_ptr<const PreparedImage> image;
        Error error;
        bool settled = false;  // read long enough after the files' last change to be trusted
    };
    struct Slot {
        std::weak_ptr<const PreparedImage> image;
        FirmwareDescriptor version;           // the version file's lines it was made with
        bool settled = false;
        std::shared_future<Outcome> reading;  // valid while one thread reads the files for all
    };

    // The files' identities, the key buffers are shared by; empty when one
    // cannot be had (the files are then read without sharing).
    static std::optional<Key> identify(const std::string& imagePath, const std::string& versionPath,
                                       const std::string& configPath);
    // A settled buffer for `key` still held, checked for `productCode`;
    // empty when the files must be read.
    std::optional<Outcome> reuseSettled(const Key& key, const std::string& versionPath, const std::string& productCode);
    // Makes `mine` the read of `key`'s files (an invalid future back), or
    // hands over the read another thread is making or has made since.
    std::shared_future<Outcome> claimRead(const Key& key, const std::shared_future<Outcome>& mine);
    // Keeps a new buffer in `key`'s slot and ends the slot's read.
    void publish(const Key& key, const FirmwareDescriptor& version, Outcome& out);
    // Reads the image (and configuration) into a new buffer; no lock held.
    // Running out of memory is a failed outcome, so waiting threads are told.
    Outcome build(const std::string& imagePath, const std::string& configPath, const FirmwareDescriptor& version,
                  const std::optional<Key>& key, const StopCheck& stop) const;
    Outcome buildOnce(const std::string& imagePath, const std::string& configPath, const FirmwareDescriptor& version,
                      const std::optional<Key>& key, const StopCheck& stop) const;
    // Drops slots whose buffer is gone and that nobody is reading; mutex_ held.
    void prune();

    const int64_t settleNs_;
    mutable std::mutex mutex_;
    std::map<Key, Slot> slots_;
    uint64_t reads_ = 0;
};

} // namespace brelvo
