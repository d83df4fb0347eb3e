#include "packer.h"

#include "file_io.h"
#include "pack_config.h"
#include "pack_error.h"
#include "pe_image.h"
#include "stream_reader.h"
#include "stream_writer.h"

namespace brolt::pack {

void packLauncher(const std::filesystem::path& stub, const std::filesystem::path& config,
                  const std::filesystem::path& output,
                  const std::optional<std::filesystem::path>& runtimeJar) {
    const StreamContent content = loadPackConfiguration(config, runtimeJar);
    const std::vector<uint8_t> image = readWholeFile(stub);
    std::vector<uint8_t> launcher = prepareStub(image, pathToUtf8(stub));
    const std::vector<uint8_t> stream = encodeStream(content, launcher.size());
    launcher.insert(launcher.end(), stream.begin(), stream.end());
    updateChecksum(launcher, pathToUtf8(output));

    // The packed launcher keeps the stub's permissions (an executable bit on a share, for instance).
    std::error_code error;
    std::filesystem::perms permissions = std::filesystem::status(stub, error).permissions();
    if (error)
        permissions = std::filesystem::perms::owner_read | std::filesystem::perms::owner_write;
    writeFileAtomically(output, launcher, permissions & std::filesystem::perms::mask);
}

void inspectLauncher(const std::filesystem::path& launcher, std::ostream& out) {
    const std::vector<uint8_t> image = readWholeFile(launcher);
    const LauncherStream stream = readLauncherStream(image, pathToUtf8(launcher));
    out << "machine: " << machineDescription(image) << "\n";
    printLauncherStream(stream, out);
    if (!stream.endMarker) {
        throw PackError(
            {pathToUtf8(launcher), 0, 0,
             "the end marker does not follow the stream at offset " + std::to_string(stream.end)});
    }
}

}  // namespace brolt::pack
