#include "files/stable_extraction_rules.h"

#include <cstdio>

#include "core/fnv_hash.h"
#include "core/text_case.h"

namespace brolt {

namespace {

uint64_t hashNumber(uint64_t hash, uint64_t value) {
    for (int shift = 0; shift < 64; shift += 8)
        hash = fnvHashByte(hash, static_cast<unsigned char>(value >> shift));
    return hash;
}

const ManifestEntry* findEntry(const std::vector<ManifestEntry>& manifest, std::string_view name) {
    for (const ManifestEntry& entry : manifest) {
        if (equalIgnoringCase(entry.name, name))
            return &entry;
    }
    return nullptr;
}

bool isWanted(const std::vector<WantedFile>& wanted, std::string_view name) {
    for (const WantedFile& file : wanted) {
        if (file.size > 0 && equalIgnoringCase(file.name, name))
            return true;
    }
    return false;
}

}  // namespace

std::string stableFolderName(const LauncherIdentity& launcher) {
    uint64_t hash = kFnvOffsetBasis;
    for (char c : launcher.modulePath)
        hash = fnvHashByte(hash, static_cast<unsigned char>(asciiLower(c)));
    // The path's end is marked, so no path and number pair hashes as another's.
    hash = fnvHashByte(hash, 0);
    hash = hashNumber(hash, launcher.size);
    hash = hashNumber(hash, launcher.writeTime);
    char name[32];  // "brt_s" + 16 digits + ".tmp" and the terminator
    snprintf(name, sizeof name, "brt_s%016llx.tmp", static_cast<unsigned long long>(hash));
    return name;
}

std::vector<size_t> filesToRewrite(const std::vector<WantedFile>& wanted,
                                   const std::vector<ManifestEntry>& manifest,
                                   const std::vector<std::optional<FileStamp>>& onDisk) {
    std::vector<size_t> rewrite;
    for (size_t i = 0; i < wanted.size(); ++i) {
        if (wanted[i].size <= 0)
            continue;
        const ManifestEntry* listed = findEntry(manifest, wanted[i].name);
        const std::optional<FileStamp>& disk = i < onDisk.size() ? onDisk[i] : std::nullopt;
        const uint64_t size = static_cast<uint64_t>(wanted[i].size);
        bool intact = listed != nullptr && disk && disk->size == size && listed->stamp.size == size &&
                      disk->writeTime == listed->stamp.writeTime;
        if (!intact)
            rewrite.push_back(i);
    }
    return rewrite;
}

std::vector<std::string> filesToRemove(const std::vector<std::string>& present,
                                       const std::vector<WantedFile>& wanted, bool othersUseTheFolder) {
    std::vector<std::string> remove;
    for (const std::string& name : present) {
        if (equalIgnoringCase(name, kExtractionMarkerName) || equalIgnoringCase(name, kManifestName) ||
            equalIgnoringCase(name, kLockName))
            continue;
        if (endsWithIgnoringCase(name, kPartSuffix) || (!othersUseTheFolder && !isWanted(wanted, name)))
            remove.push_back(name);
    }
    return remove;
}

StableFolderVerdict judgeStableFolder(std::string_view folderName, const StableMarker& marker,
                                      const std::optional<LauncherIdentity>& launcherNow,
                                      bool anyUserMayRun) {
    if (!equalIgnoringCase(folderName, stableFolderName(marker.launcher)))
        return StableFolderVerdict::NotOurs;
    if (launcherNow && launcherNow->size == marker.launcher.size &&
        launcherNow->writeTime == marker.launcher.writeTime)
        return StableFolderVerdict::Keep;
    return anyUserMayRun ? StableFolderVerdict::InUse : StableFolderVerdict::Remove;
}

}  // namespace brolt
