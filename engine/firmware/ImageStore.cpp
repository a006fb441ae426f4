// SPDX-License-Identifier: MIT
#include "firmware/ImageStore.h"

#include "firmware/ConfigMask.h"
#include "platform/RawFile.h"
#include "platform/Text.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <tuple>

namespace brelvo {

namespace {

// Error::code of a read that met a file being written: worth one more attempt.
constexpr int kTornRead = -1;

std::string hex32(uint32_t v)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(v));
    return text;
}

// Why `path` could not be opened as a regular file, by what is there now.
bool openProblem(const std::string& what, const std::string& path, Error* error)
{
    Error lookup;
    const std::optional<FileIdentity> id = fileIdentity(path, &lookup);
    const std::string name = what + " " + oneLine(path);
    if (!id && isMissingFileError(lookup.code))
        return fail(error, kPrepareFileError, name + " does not exist");
    if (id && id->kind != FileKind::Regular)
        return fail(error, kPrepareFileError, name + " is not a regular file");
    return fail(error, kPrepareFileError, name + " cannot be read");
}

bool mismatch(const std::string& versionPath, const FirmwareDescriptor& v, const std::string& code, Error* error)
{
    const std::string name = "version file " + oneLine(versionPath);
    if (v.productsDiffer)
        return fail(error, kPrepareModelMismatch,
                    name + " names more than one product; the device asked for " + oneLine(code));
    return fail(error, kPrepareModelMismatch,
                name + " is for product " + oneLine(v.product) + (v.productCut ? "..." : "") + ", not " + oneLine(code));
}

// Opens the image; its length must fit the 32-bit size a device is told.
std::optional<FileIdentity> openImage(RawFile& image, const std::string& imagePath, const std::string& imageName,
                                      Error* error)
{
    std::optional<FileIdentity> id;
    if (!image.open(imagePath) || !(id = image.identity())) {
        openProblem("image", imagePath, error);
        return std::nullopt;
    }
    if (id->size > kMaxImageBytes) {
        fail(error, kPrepareFileError,
             imageName + " has " + std::to_string(id->size) + " bytes; at most " + std::to_string(kMaxImageBytes) +
                 " can be sent");
        return std::nullopt;
    }
    return id;
}

// Opens the configuration; it must hold the device's settings and fit, with
// the image, into what a device takes.
std::optional<FileIdentity> openConfig(RawFile& config, const std::string& configPath, const std::string& configName,
                                       const std::string& imageName, uint64_t imageLength, Error* error)
{
    std::optional<FileIdentity> id;
    if (!config.open(configPath) || !(id = config.identity())) {
        openProblem("configuration", configPath, error);
        return std::nullopt;
    }
    if (id->size < kMinConfigBytes) {
        fail(error, kPrepareFileError,
             configName + " has " + std::to_string(id->size) + " bytes; at least " + std::to_string(kMinConfigBytes) +
                 " are needed");
        return std::nullopt;
    }
    if (imageLength + id->size > kMaxImageWithConfigBytes) {
        fail(error, kPrepareFileError,
             imageName + " (" + std::to_string(imageLength) + " bytes) with " + configName + " (" +
                 std::to_string(id->size) + " bytes) is over " + std::to_string(kMaxImageWithConfigBytes) + " bytes");
        return std::nullopt;
    }
    return id;
}

// A length the disk allows may still be more than the memory has.
bool allocate(PreparedImage& prepared, uint64_t total, const std::string& imageName, Error* error)
{
    try {
        prepared.bytes.resize(static_cast<size_t>(total));
    } catch (const std::bad_alloc&) {
        return fail(error, kPrepareFileError, "not enough memory for the " + std::to_string(total) + " bytes of " + imageName);
    }
    return true;
}

// Reads an opened file whole. One written meanwhile is worth another
// attempt (kTornRead), unlike a file that is merely short.
bool readWhole(RawFile& file, const FileIdentity& id, const std::string& name, uint8_t* into, const StopCheck& stop,
               Error* error)
{
    constexpr size_t kBlock = 1 << 20;
    size_t got = 0;
    for (;;) {
        if (stop && stop())
            return fail(error, kPrepareStopped, "stopped while reading " + name);
        const size_t want = std::min<uint64_t>(kBlock, id.size - got);
        const size_t n = want ? file.read(into + got, want) : 0;
        got += n;
        if (n < want || got == id.size)
            break;
    }
    if (file.identity() != id)
        return fail(error, kTornRead, name + " changed while it was being read");
    if (got != id.size)
        return fail(error, kPrepareFileError,
                    name + " ended after " + std::to_string(got) + " of " + std::to_string(id.size) + " bytes");
    return true;
}

// The version file's checksum covers the image alone, so it is checked before
// the configuration joins; the checksum sent then covers both.
bool appendConfig(PreparedImage& prepared, uint64_t imageLength, const std::string& imageName, RawFile& config,
                  const FileIdentity& configId, const std::string& configName, const StopCheck& stop, Error* error)
{
    uint8_t* bytes = prepared.bytes.data();
    const uint32_t versionChecksum = prepared.checksum;
    const size_t imageWords = static_cast<size_t>(imageLength / 4);
    const uint32_t imageSum = sumWords(bytes, imageWords);
    if (imageSum != versionChecksum)
        return fail(error, kPrepareFileError,
                    imageName + " does not match its version file: its words add up to " + hex32(imageSum) +
                        ", the version file says " + hex32(versionChecksum));
    if (!readWhole(config, configId, configName, bytes + imageLength, stop, error))
        return false;
    const size_t totalWords = static_cast<size_t>(prepared.bytes.size() / 4);
    maskWords(bytes, imageWords, totalWords);
    prepared.checksum = sumWords(bytes, totalWords);
    prepared.withConfig = true;
    prepared.config = configId;
    return true;
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
        n += s.second.image.expired() ? 0 : 1;
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
        if (!it->second.reading.valid() && it->second.image.expired())
            it = slots_.erase(it);
        else
            ++it;
    }
}

std::optional<ImageStore::Key> ImageStore::identify(const std::string& imagePath, const std::string& versionPath,
                                                    const std::string& configPath)
{
    Key key;
    key.withConfig = !configPath.empty();
    const auto version = fileIdentity(versionPath);
    const auto image = fileIdentity(imagePath);
    const auto config = key.withConfig ? fileIdentity(configPath) : std::optional<FileIdentity>(FileIdentity());
    if (!version || !image || !config)
        return std::nullopt;
    key.version = *version;
    key.image = *image;
    key.config = *config;
    return key;
}

// A buffer for these very files, read long enough after their last change:
// only the product check is left, on the version file's lines kept with it.
std::optional<ImageStore::Outcome> ImageStore::reuseSettled(const Key& key, const std::string& versionPath,
                                                            const std::string& productCode)
{
    std::lock_guard<std::mutex> lock(mutex_);
    prune();
    auto it = slots_.find(key);
    if (it == slots_.end() || !it->second.settled || it->second.reading.valid())
        return std::nullopt;
    Outcome out;
    if (!(out.image = it->second.image.lock()))
        return std::nullopt;
    if (!it->second.version.allows(productCode)) {
        out.image.reset();
        mismatch(versionPath, it->second.version, productCode, &out.error);
    }
    return out;
}

std::shared_future<ImageStore::Outcome> ImageStore::claimRead(const Key& key, const std::shared_future<Outcome>& mine)
{
    std::lock_guard<std::mutex> lock(mutex_);
    prune();
    Slot& slot = slots_[key];
    // Another thread is reading these files: its buffer serves us too.
    if (slot.reading.valid())
        return slot.reading;
    if (std::shared_ptr<const PreparedImage> made = slot.settled ? slot.image.lock() : nullptr) {
        // Made by another thread since we looked.
        std::promise<Outcome> ready;
        Outcome out;
        out.image = std::move(made);
        ready.set_value(std::move(out));
        return ready.get_future().share();
    }
    slot.reading = mine;
    ++reads_;
    return {};
}

void ImageStore::publish(const Key& key, const FirmwareDescriptor& version, Outcome& out)
{
    std::shared_ptr<const PreparedImage> old;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        old = slots_[key].image.lock();
    }
    // The same bytes read again (the files were too fresh to trust
    // their identity): the jobs keep sharing one buffer.
    if (old && out.image && old->checksum == out.image->checksum && old->withConfig == out.image->withConfig &&
        old->bytes == out.image->bytes)
        out.image = old;
    std::lock_guard<std::mutex> lock(mutex_);
    Slot& slot = slots_[key];
    if (out.image) {
        slot.image = out.image;
        slot.version = version;
        slot.settled = out.settled;
    }
    slot.reading = std::shared_future<Outcome>();
}

std::shared_ptr<const PreparedImage> ImageStore::prepare(const std::string& imagePath, const std::string& productCode,
                                                         const std::string& configPath, Error* error,
                                                         const StopCheck& stop)
{
    auto deliver = [error](Outcome out) {
        if (!out.image && error)
            *error = std::move(out.error);
        return std::move(out.image);
    };
    const std::string versionPath = versionFileFor(imagePath);
    const std::optional<Key> key = identify(imagePath, versionPath, configPath);
    if (key) {
        if (std::optional<Outcome> reused = reuseSettled(*key, versionPath, productCode))
            return deliver(std::move(*reused));
    }

    // The version file decides first: a request for another product never
    // reads the image.
    const int64_t versionRead = wallClockNs();
    const std::optional<FirmwareDescriptor> version = readFirmwareDescriptor(versionPath, stop);
    if (!version) {
        openProblem("version file", versionPath, error);
        return nullptr;
    }
    if (version->stopped) {
        fail(error, kPrepareStopped, "stopped while reading version file " + oneLine(versionPath));
        return nullptr;
    }
    if (!version->allows(productCode)) {
        mismatch(versionPath, *version, productCode, error);
        return nullptr;
    }

    std::promise<Outcome> mine;
    bool sharing = false;
    if (key) {
        const std::shared_future<Outcome> other = claimRead(*key, mine.get_future().share());
        sharing = !other.valid();
        if (!sharing) {
            Outcome theirs = other.get();
            // A read abandoned for another job's Stop answers nothing for this one.
            if (theirs.image || theirs.error.code != kPrepareStopped)
                return deliver(std::move(theirs));
        }
    }
    if (!sharing) {
        std::lock_guard<std::mutex> lock(mutex_);
        ++reads_;
    }
    Outcome out = build(imagePath, configPath, *version, key, stop);
    out.settled = out.settled && key && version->unchanged && version->identity == key->version &&
                  identitySettled(version->identity, versionRead, settleNs_);
    if (sharing) {
        publish(*key, *version, out);
        mine.set_value(out);
    }
    return deliver(std::move(out));
}

ImageStore::Outcome ImageStore::build(const std::string& imagePath, const std::string& configPath,
                                      const FirmwareDescriptor& version, const std::optional<Key>& key,
                                      const StopCheck& stop) const
{
    Outcome out;
    try {
        // A file written while it is read is read once more before giving up.
        for (int attempt = 0; attempt < 2; ++attempt) {
            out = buildOnce(imagePath, configPath, version, key, stop);
            if (out.image || out.error.code != kTornRead)
                break;
        }
    } catch (const std::exception&) {
        out = Outcome();
        out.error.text = "not enough memory to load image " + oneLine(imagePath);
    }
    if (!out.image && out.error.code != kPrepareStopped)
        out.error.code = kPrepareFileError;
    return out;
}

ImageStore::Outcome ImageStore::buildOnce(const std::string& imagePath, const std::string& configPath,
                                          const FirmwareDescriptor& version, const std::optional<Key>& key,
                                          const StopCheck& stop) const
{
    Outcome out;
    const int64_t readStart = wallClockNs();
    const std::string imageName = "image " + oneLine(imagePath);
    const std::string configName = "configuration " + oneLine(configPath);
    const bool withConfig = !configPath.empty();

    RawFile image;
    const std::optional<FileIdentity> imageId = openImage(image, imagePath, imageName, &out.error);
    if (!imageId)
        return out;
    RawFile config;
    std::optional<FileIdentity> configId;
    if (withConfig && !(configId = openConfig(config, configPath, configName, imageName, imageId->size, &out.error)))
        return out;

    auto prepared = std::make_shared<PreparedImage>();
    const uint64_t imageLength = imageId->size;
    if (!allocate(*prepared, imageLength + (configId ? configId->size : 0), imageName, &out.error) ||
        !readWhole(image, *imageId, imageName, prepared->bytes.data(), stop, &out.error))
        return out;
    prepared->image = *imageId;
    prepared->version = version.identity;
    prepared->checksum = version.checksumValue();
    if (withConfig &&
        !appendConfig(*prepared, imageLength, imageName, config, *configId, configName, stop, &out.error))
        return out;

    out.settled = key && *imageId == key->image && identitySettled(*imageId, readStart, settleNs_) &&
                  (!withConfig || (*configId == key->config && identitySettled(*configId, readStart, settleNs_)));
    out.image = std::move(prepared);
    return out;
}

} // namespace brelvo
