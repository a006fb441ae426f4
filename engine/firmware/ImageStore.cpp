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

// Opens the image; its length must fit the 32-bit size a device is told.
std::string openImage(const std::string& imagePath, const std::string& imageName, RawFile& image,
                      FileIdentity& imageId)
{
    if (!image.open(imagePath) || !image.identity(&imageId))
        return openProblem("image", imagePath);
    if (imageId.size > UINT32_MAX)
        return imageName + " has " + std::to_string(imageId.size) + " bytes; at most " +
               std::to_string(UINT32_MAX) + " can be sent";
    return {};
}

// Opens the configuration; it must hold the device's settings and fit, with
// the image, into what a device takes.
std::string openConfig(const std::string& configPath, const std::string& configName, const std::string& imageName,
                       uint64_t imageLength, RawFile& config, FileIdentity& configId)
{
    if (!config.open(configPath) || !config.identity(&configId))
        return openProblem("configuration", configPath);
    const uint64_t configLength = configId.size;
    if (configLength < kMinConfigBytes)
        return configTooShortReason(configPath, configLength);
    if (imageLength + configLength > kMaxImageWithConfigBytes)
        return imageName + " (" + std::to_string(imageLength) + " bytes) with " + configName + " (" +
               std::to_string(configLength) + " bytes) is over " + std::to_string(kMaxImageWithConfigBytes) +
               " bytes";
    return {};
}

// A length the disk allows may still be more than the memory has.
std::string allocate(PreparedImage& prepared, uint64_t total, const std::string& imageName)
{
    try {
        prepared.bytes.resize(static_cast<size_t>(total));
    } catch (const std::bad_alloc&) {
        return "not enough memory for the " + std::to_string(total) + " bytes of " + imageName;
    }
    return {};
}

// Reads an opened file whole; `changed` is set when it was written meanwhile,
// which is worth another attempt, unlike a file that is merely short.
std::string readWhole(RawFile& file, const FileIdentity& id, const std::string& name, uint8_t* into,
                      uint64_t length, bool* changed)
{
    const size_t got = file.read(into, static_cast<size_t>(length));
    FileIdentity after;
    if (!file.identity(&after) || after != id) {
        *changed = true;
        return name + " changed while it was being read";
    }
    if (got != length)
        return name + " ended after " + std::to_string(got) + " of " + std::to_string(length) + " bytes";
    return {};
}

// The version file's checksum covers the image alone, so it is checked before
// the configuration joins; the checksum sent then covers both.
std::string appendConfig(PreparedImage& prepared, uint64_t imageLength, const std::string& imageName,
                         RawFile& config, const FileIdentity& configId, const std::string& configName,
                         bool* changed)
{
    uint8_t* bytes = prepared.bytes.data();
    const uint32_t versionChecksum = prepared.checksum;
    const size_t imageWords = static_cast<size_t>(imageLength / 4);
    const uint32_t imageSum = sumWords(bytes, imageWords);
    if (imageSum != versionChecksum)
        return imageName + " does not match its version file: its words add up to " + hex32(imageSum) +
               ", the version file says " + hex32(versionChecksum);
    const std::string problem =
        readWhole(config, configId, configName, bytes + imageLength, configId.size, changed);
    if (!problem.empty())
        return problem;
    const size_t totalWords = static_cast<size_t>(prepared.bytes.size() / 4);
    maskWords(bytes, imageWords, totalWords);
    prepared.checksum = sumWords(bytes, totalWords);
    prepared.withConfig = true;
    prepared.config = configId;
    return {};
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

bool ImageStore::identify(const std::string& imagePath, const std::string& versionPath, const std::string& configPath,
                          Key* key)
{
    key->withConfig = !configPath.empty();
    return fileIdentity(versionPath, &key->version) == StatOutcome::Ok &&
           fileIdentity(imagePath, &key->image) == StatOutcome::Ok &&
           (!key->withConfig || fileIdentity(configPath, &key->config) == StatOutcome::Ok);
}

// A buffer for these very files, read long enough after their last change:
// only the product check is left, on the version file's lines kept with it.
bool ImageStore::reuseSettled(const Key& key, const std::string& versionPath, const std::string& productCode,
                              PrepareResult* result)
{
    std::lock_guard<std::mutex> lock(mutex_);
    prune();
    auto it = slots_.find(key);
    if (it == slots_.end() || !it->second->settled || it->second->pending)
        return false;
    auto image = it->second->image.lock();
    if (!image)
        return false;
    uint32_t sum = 0;
    if (VersionFile::check(it->second->version, productCode, sum) != VersionFile::Ok) {
        *result = mismatch(versionPath, it->second->version, productCode);
        return true;
    }
    result->status = PrepareStatus::Ok;
    result->image = std::move(image);
    return true;
}

bool ImageStore::claimRead(bool identified, const Key& key, std::shared_ptr<Slot>* slot,
                           std::shared_ptr<Pending>* pending, PrepareResult* result)
{
    std::unique_lock<std::mutex> lock(mutex_);
    if (identified) {
        prune();
        std::shared_ptr<Slot>& s = slots_[key];
        if (!s)
            s = std::make_shared<Slot>();
        *slot = s;
        if ((*slot)->pending) {
            // Another thread is reading these files: its buffer serves us too.
            *pending = (*slot)->pending;
            const std::shared_ptr<Pending>& p = *pending;
            finished_.wait(lock, [&] { return p->done; });
            result->status = p->outcome.status;
            result->reason = p->outcome.reason;
            result->image = p->outcome.image;
            return true;
        }
        if ((*slot)->settled && (result->image = (*slot)->image.lock())) {
            // Made by another thread since we looked.
            result->status = PrepareStatus::Ok;
            return true;
        }
        *pending = std::make_shared<Pending>();
        (*slot)->pending = *pending;
    }
    ++reads_;
    return false;
}

ImageStore::Outcome ImageStore::buildOrReport(const std::string& imagePath, const std::string& configPath,
                                              const VersionFile::Contents& version, uint32_t versionChecksum,
                                              const Key& key)
{
    try {
        return build(imagePath, configPath, version, versionChecksum, key);
    } catch (const std::exception&) {
        // Out of memory on the way: the waiting threads must still be told.
        Outcome out;
        out.reason = "not enough memory to load image " + oneLine(imagePath);
        return out;
    }
}

void ImageStore::publish(Slot& slot, Pending& pending, const VersionFile::Contents& version, Outcome& out)
{
    std::shared_ptr<const PreparedImage> old;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        old = slot.image.lock();
    }
    // The same bytes read again (the files were too fresh to trust
    // their identity): the jobs keep sharing one buffer.
    if (old && out.status == PrepareStatus::Ok && old->checksum == out.image->checksum &&
        old->withConfig == out.image->withConfig && old->bytes == out.image->bytes)
        out.image = old;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (out.status == PrepareStatus::Ok) {
            slot.image = out.image;
            slot.version = version;
            slot.settled = out.settled;
        }
        slot.pending.reset();
        pending.outcome = out;
        pending.done = true;
    }
    finished_.notify_all();
}

PrepareResult ImageStore::prepare(const std::string& imagePath, const std::string& productCode,
                                  const std::string& configPath)
{
    const std::string versionPath = VersionFile::pathForImage(imagePath);
    Key key;
    const bool identified = identify(imagePath, versionPath, configPath, &key);
    PrepareResult r;
    if (identified && reuseSettled(key, versionPath, productCode, &r))
        return r;

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
    if (claimRead(identified, key, &slot, &pending, &r))
        return r;

    Outcome out = buildOrReport(imagePath, configPath, version, checksum, key);
    out.settled = out.settled && versionSettled && identified;
    if (slot)
        publish(*slot, *pending, version, out);
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
    std::string problem;

    RawFile image;
    FileIdentity imageId;
    if (!(problem = openImage(imagePath, imageName, image, imageId)).empty())
        return fail(problem);
    const uint64_t imageLength = imageId.size;

    const bool withConfig = !configPath.empty();
    RawFile config;
    FileIdentity configId;
    uint64_t configLength = 0;
    if (withConfig) {
        if (!(problem = openConfig(configPath, configName, imageName, imageLength, config, configId)).empty())
            return fail(problem);
        configLength = configId.size;
    }

    auto prepared = std::make_shared<PreparedImage>();
    if (!(problem = allocate(*prepared, imageLength + configLength, imageName)).empty())
        return fail(problem);
    if (!(problem = readWhole(image, imageId, imageName, prepared->bytes.data(), imageLength, changed)).empty())
        return fail(problem);
    prepared->image = imageId;
    prepared->version = version.identity;
    prepared->checksum = versionChecksum;
    if (withConfig &&
        !(problem = appendConfig(*prepared, imageLength, imageName, config, configId, configName, changed)).empty())
        return fail(problem);

    out.status = PrepareStatus::Ok;
    out.reason.clear();
    out.settled = imageId == key.image && identitySettled(imageId, readStart, settleNs_) &&
                  (!withConfig || (configId == key.config && identitySettled(configId, readStart, settleNs_)));
    out.image = std::move(prepared);
    return out;
}

} // namespace brelvo
