// SPDX-License-Identifier: MIT
#pragma once

#include "firmware/VersionFile.h"
#include "platform/FileIdentity.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace brelvo {

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

enum class PrepareStatus { Ok, ModelMismatch, FileError };

struct PrepareResult {
    PrepareStatus status = PrepareStatus::FileError;
    std::string reason;  // English, one line, names the file; empty when Ok
    std::shared_ptr<const PreparedImage> image;  // set when Ok
};

// Prepares the bytes of a job: version file check, image, masked
// configuration, checksum. Jobs asking for the same files (same image,
// version file and configuration, or none, by identity) get the same
// buffer, made once; the store keeps only weak references, so a buffer
// goes with its last job. A file changed on disk gives the next job a new
// buffer while earlier jobs keep theirs. Safe to call from several
// threads: a thread reading one image does not hold up a thread asking for
// another, and threads asking for the same new image wait for one read.
class ImageStore {
public:
    // File times have a coarse grain: a buffer made within `settleNs` of
    // its files' last change is checked against the files again before it
    // is handed to another job (and kept if nothing differs).
    static constexpr int64_t kDefaultSettleNs = 1000000000;
    explicit ImageStore(int64_t settleNs = kDefaultSettleNs);

    // The rules of a job's loading step: the version file (the image path
    // with every ".bin" made "-ver.bin") must open and name no other
    // product than `productCode`; its "checksum=" value is the checksum.
    // With `configPath` not empty the configuration must be appended:
    // any reason it cannot be (missing, unreadable, short, too long with
    // the image, the image not matching the version file's checksum) is a
    // FileError, never the image alone.
    PrepareResult prepare(const std::string& imagePath, const std::string& productCode,
                          const std::string& configPath);

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
    struct Outcome {
        PrepareStatus status = PrepareStatus::FileError;
        std::string reason;
        std::shared_ptr<const PreparedImage> image;
        bool settled = false;
    };
    // One read in progress; threads asking for the same files wait for it.
    struct Pending {
        bool done = false;
        Outcome outcome;
    };
    struct Slot {
        std::weak_ptr<const PreparedImage> image;
        VersionFile::Contents version;
        bool settled = false;
        std::shared_ptr<Pending> pending;
    };

    // The files' identities, the key buffers are shared by; false when one
    // cannot be had (the files are then read without sharing).
    static bool identify(const std::string& imagePath, const std::string& versionPath,
                         const std::string& configPath, Key* key);
    // True with `result` set when a settled buffer for `key` is still held.
    bool reuseSettled(const Key& key, const std::string& versionPath, const std::string& productCode,
                      PrepareResult* result);
    // Makes this thread the reader of `key`'s files, or (true, `result` set)
    // waits for the thread already reading them or takes what it made.
    bool claimRead(bool identified, const Key& key, std::shared_ptr<Slot>* slot,
                   std::shared_ptr<Pending>* pending, PrepareResult* result);
    // build(), with running out of memory reported as a failed outcome.
    Outcome buildOrReport(const std::string& imagePath, const std::string& configPath,
                          const VersionFile::Contents& version, uint32_t versionChecksum, const Key& key);
    // Hands the outcome to the slot and the waiting threads.
    void publish(Slot& slot, Pending& pending, const VersionFile::Contents& version, Outcome& out);
    // Reads the image (and configuration) into a new buffer; no lock held.
    Outcome build(const std::string& imagePath, const std::string& configPath,
                  const VersionFile::Contents& version, uint32_t versionChecksum, const Key& key);
    // One attempt; `changed` is set when a file was written while it was read.
    Outcome buildOnce(const std::string& imagePath, const std::string& configPath,
                      const VersionFile::Contents& version, uint32_t versionChecksum, const Key& key,
                      bool* changed) const;
    // Drops slots whose buffer is gone and that nobody is reading; mutex_ held.
    void prune();

    const int64_t settleNs_;
    mutable std::mutex mutex_;
    std::condition_variable finished_;
    std::map<Key, std::shared_ptr<Slot>> slots_;
    uint64_t reads_ = 0;
};

} // namespace brelvo
