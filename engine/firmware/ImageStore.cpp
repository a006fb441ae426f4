// SPDX-License-Identifier: MIT
#include "firmware/ImageStore.h"

#include "firmware/ConfigCheck.h"
#include "firmware/ConfigMask.h"
#include "platform/RawFile.h"
#include "platform/Text.h"

#include <cstdio>
#include <new>
#include <tuple>

namespace brelvo {

namespace {

std::string hex32(uint32_t v)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(v));
    return text;
}

// Why `path` could not be opened as a regular file, by what is there now.
std::string openProblem(const std::string& what, const std::string& path, ConfigProblem* problem = nullptr)
{
    FileIdentity id;
    const StatOutcome found = fileIdentity(path, &id);
    ConfigProblem p = found == StatOutcome::Missing                        ? ConfigProblem::Missing
                      : found == StatOutcome::Ok && id.kind != FileKind::Regular ? ConfigProblem::NotARegularFile
                                                                             : ConfigProblem::Unreadable;
    if (problem)
        *problem = p;
    const std::string name = what + " " + oneLine(path);
    switch (p) {
    case ConfigProblem::Missing:
        return name + " does not exist";
    case ConfigProblem::NotARegularFile:
        return name + " is not a regular file";
    default:
        return name + " cannot be read";
    }
}

PrepareResult failed(PrepareStatus status, std::string reason)
{
    PrepareResult r;
    r.status = status;
    r.reason = std::move(reason);
    return r;
}

PrepareResult mismatch(const std::string& versionPath, const VersionFile::Contents& v, const std::string& code)
{
    const std::string name = "version file " + oneLine(versionPath);
    if (v.productCount > 1)
        return failed(PrepareStatus::ModelMismatch, name + " names more than one product; the device asked for " +
                                                        oneLine(code));
    return failed(PrepareStatus::ModelMismatch,
                  name + " is for product " + oneLine(v.product) + ", not " + oneLine(code));
}

} // namespace

bool ImageStore::Key::operator<(const Key& o) const
{
    return std::tie(version, image, withConfig, config) < std::tie(o.version, o.image, o.withConfig, o.config);
}

ImageStore::ImageStore(int64_t settleNs) : settleNs_(settleNs) {}

size_t ImageStore::liveImages() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    size_t n = 0;
    for (const auto& s : slots_)
        n += s.second->image.expired() ? 0 : 1;
    return n;
}

uint64_t ImageStore::imageReads() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return reads_;
}

void ImageStore::prune()
{
    for (auto it = slots_.begin(); it != slots_.end();) {
        if (!it->second->pending && it->second->image.expired())
            it = slots_.erase(it);
        else
            ++it;
    }
}

PrepareResult ImageStore::prepare(const std::string& imagePath, const std::string& productCode,
                                  const std::string& configPath)
{
    const std::string versionPath = VersionFile::pathForImage(imagePath);
    Key key;
    key.withConfig = !configPath.empty();
    const bool identified = fileIdentity(versionPath, &key.version) == StatOutcome::Ok &&
                            fileIdentity(imagePath, &key.image) == StatOutcome::Ok &&
                            (!key.withConfig || fileIdentity(configPath, &key.config) == StatOutcome::Ok);

    // A buffer for these very files, read long enough after their last
    // change: only the product check is left, on the version file's lines
    // kept with it.
    if (identified) {
        std::lock_guard<std::mutex> lock(mutex_);
        prune();
        auto it = slots_.find(key);
        if (it != slots_.end() && it->second->settled && !it->second->pending) {
            if (auto image = it->second->image.lock()) {
                uint32_t sum = 0;
                if (VersionFile::check(it->second->version, productCode, sum) != VersionFile::Ok)
                    return mismatch(versionPath, it->second->version, productCode);
                PrepareResult r;
                r.status = PrepareStatus::Ok;
                r.image = std::move(image);
                return r;
            }
        }
    }

    // The version file decides first: a request for another product never
    // reads the image.
    VersionFile::Contents version;
    const int64_t versionRead = wallClockNs();
    if (!VersionFile::readContents(versionPath, &version))
        return failed(PrepareStatus::FileError, openProblem("version file", versionPath));
    uint32_t checksum = 0;
    if (VersionFile::check(version, productCode, checksum) != VersionFile::Ok)
        return mismatch(versionPath, version, productCode);
    const bool versionSettled = version.unchanged && version.identity == key.version &&
                                identitySettled(version.identity, versionRead, settleNs_);

    std::shared_ptr<Slot> slot;
    std::shared_ptr<Pending> pending;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        if (identified) {
            prune();
            std::shared_ptr<Slot>& s = slots_[key];
            if (!s)
                s = std::make_shared<Slot>();
            slot = s;
            PrepareResult r;
            if (slot->pending) {
                // Another thread is reading these files: its buffer serves us too.
                pending = slot->pending;
                finished_.wait(lock, [&] { return pending->done; });
                r.status = pending->outcome.status;
                r.reason = pending->outcome.reason;
                r.image = pending->outcome.image;
                return r;
            }
            if (slot->settled && (r.image = slot->image.lock())) {
                // Made by another thread since we looked.
                r.status = PrepareStatus::Ok;
                return r;
            }
            pending = std::make_shared<Pending>();
            slot->pending = pending;
        }
        ++reads_;
    }

    Outcome out;
    try {
        out = build(imagePath, configPath, version, checksum, key);
    } catch (const std::exception&) {
        // Out of memory on the way: the waiting threads must still be told.
        out = Outcome();
        out.reason = "not enough memory to load image " + oneLine(imagePath);
    }
    out.settled = out.settled && versionSettled && identified;

    if (slot) {
        std::shared_ptr<const PreparedImage> old;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            old = slot->image.lock();
        }
        // The same bytes read again (the files were too fresh to trust
        // their identity): the jobs keep sharing one buffer.
        if (old && out.status == PrepareStatus::Ok && old->checksum == out.image->checksum &&
            old->withConfig == out.image->withConfig && old->bytes == out.image->bytes)
            out.image = old;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (out.status == PrepareStatus::Ok) {
                slot->image = out.image;
                slot->version = version;
                slot->settled = out.settled;
            }
            slot->pending.reset();
            pending->outcome = out;
            pending->done = true;
        }
        finished_.notify_all();
    }
    PrepareResult r;
    r.status = out.status;
    r.reason = std::move(out.reason);
    r.image = std::move(out.image);
    return r;
}

ImageStore::Outcome ImageStore::build(const std::string& imagePath, const std::string& configPath,
                                      const VersionFile::Contents& version, uint32_t versionChecksum,
                                      const Key& key)
{
    // A file written while it is read is read once more before giving up.
    Outcome out;
    for (int attempt = 0; attempt < 2; ++attempt) {
        bool changed = false;
        out = buildOnce(imagePath, configPath, version, versionChecksum, key, &changed);
        if (!changed)
            break;
    }
    return out;
}

ImageStore::Outcome ImageStore::buildOnce(const std::string& imagePath, const std::string& configPath,
                                          const VersionFile::Contents& version, uint32_t versionChecksum,
                                          const Key& key, bool* changed) const
{
    Outcome out;
    auto fail = [&out](std::string reason) {
        out.status = PrepareStatus::FileError;
        out.reason = std::move(reason);
        out.image.reset();
        return out;
    };
    const int64_t readStart = wallClockNs();
    const std::string imageName = "image " + oneLine(imagePath);
    const std::string configName = "configuration " + oneLine(configPath);

    RawFile image;
    FileIdentity imageId;
    if (!image.open(imagePath) || !image.identity(&imageId))
        return fail(openProblem("image", imagePath));
    const uint64_t imageLength = imageId.size;
    if (imageLength > UINT32_MAX)
        return fail(imageName + " has " + std::to_string(imageLength) + " bytes; at most " +
                    std::to_string(UINT32_MAX) + " can be sent");

    const bool withConfig = !configPath.empty();
    RawFile config;
    FileIdentity configId;
    uint64_t configLength = 0;
    if (withConfig) {
        if (!config.open(configPath) || !config.identity(&configId))
            return fail(openProblem("configuration", configPath));
        configLength = configId.size;
        if (configLength < kMinConfigBytes)
            return fail(configTooShortReason(configPath, configLength));
        if (imageLength + configLength > kMaxImageWithConfigBytes)
            return fail(imageName + " (" + std::to_string(imageLength) + " bytes) with " + configName + " (" +
                        std::to_string(configLength) + " bytes) is over " +
                        std::to_string(kMaxImageWithConfigBytes) + " bytes");
    }

    auto prepared = std::make_shared<PreparedImage>();
    const uint64_t total = imageLength + configLength;
    try {
        prepared->bytes.resize(static_cast<size_t>(total));
    } catch (const std::bad_alloc&) {
        return fail("not enough memory for the " + std::to_string(total) + " bytes of " + imageName);
    }
    uint8_t* bytes = prepared->bytes.data();

    const size_t imageRead = image.read(bytes, static_cast<size_t>(imageLength));
    FileIdentity after;
    if (!image.identity(&after) || after != imageId) {
        *changed = true;
        return fail(imageName + " changed while it was being read");
    }
    if (imageRead != imageLength)
        return fail(imageName + " ended after " + std::to_string(imageRead) + " of " +
                    std::to_string(imageLength) + " bytes");
    prepared->image = imageId;
    prepared->version = version.identity;
    prepared->checksum = versionChecksum;

    if (withConfig) {
        const size_t imageWords = static_cast<size_t>(imageLength / 4);
        const uint32_t imageSum = sumWords(bytes, imageWords);
        if (imageSum != versionChecksum)
            return fail(imageName + " does not match its version file: its words add up to " + hex32(imageSum) +
                        ", the version file says " + hex32(versionChecksum));
        const size_t configRead = config.read(bytes + imageLength, static_cast<size_t>(configLength));
        if (!config.identity(&after) || after != configId) {
            *changed = true;
            return fail(configName + " changed while it was being read");
        }
        if (configRead != configLength)
            return fail(configName + " ended after " + std::to_string(configRead) + " of " +
                        std::to_string(configLength) + " bytes");
        const size_t totalWords = static_cast<size_t>(total / 4);
        maskWords(bytes, imageWords, totalWords);
        prepared->checksum = sumWords(bytes, totalWords);
        prepared->withConfig = true;
        prepared->config = configId;
    }

    out.status = PrepareStatus::Ok;
    out.reason.clear();
    out.settled = imageId == key.image && identitySettled(imageId, readStart, settleNs_) &&
                  (!withConfig || (configId == key.config && identitySettled(configId, readStart, settleNs_)));
    out.image = std::move(prepared);
    return out;
}

} // namespace brelvo
