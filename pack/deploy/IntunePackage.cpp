#include "IntunePackage.h"

#include "Crypto.h"
#include "ErrorHandling.h"
#include "FieldChecks.h"
#include "InputChecks.h"
#include "IntuneDefinition.h"
#include "OutputSet.h"
#include "PackFiles.h"
#include "Sha256.h"
#include "StagedZipTarget.h"
#include "WindowsFileName.h"
#include "ZipWriter.h"

namespace {

// Zip without ZIP64 ends at 4 GiB; deflate may grow data that does not
// compress by a few bytes in ten thousand. (Intune itself takes up to 30 GB,
// and a PE image ends at 4 GiB anyway.)
constexpr uint64_t largestSetup = 0xFF000000;

// The inner zip as it streams out of the deflater: its digest and size
// taken, encrypted, and the ciphertext MACed, checksummed for the outer
// zip and appended to it.
class EncryptingTarget : public ZipTarget {
public:
    EncryptingTarget(const IntuneEncryption& keys, ZipTarget& outer)
        : aes_(keys.encryptionKey, keys.iv), hmac_(keys.macKey.data(), keys.macKey.size()), outer_(outer) {
        pass(keys.iv.data(), keys.iv.size());
    }

    void append(const uint8_t* bytes, size_t size) override {
        digest_.add(bytes, size);
        size_ += size;
        aes_.update(bytes, size, cipher_);
        pass(cipher_.data(), cipher_.size());
    }
    uint64_t position() const override { return size_; }
    bool canOverwrite() const override { return false; }
    void overwrite(uint64_t, const uint8_t*, size_t) override {
        VK_THROW_MSG("An encrypted stream cannot be overwritten");
    }

    // Ends the encryption: the MAC, the digest and size of the plaintext,
    // and the CRC-32 and size of IV ‖ ciphertext.
    void finish(IntuneEncryption& keys, uint32_t& crc, uint64_t& passed) {
        aes_.finish(cipher_);
        pass(cipher_.data(), cipher_.size());
        keys.mac = hmac_.finish();
        keys.fileDigest = digest_.finish();
        keys.unencryptedSize = size_;
        crc = crc_.value();
        passed = passed_;
    }

private:
    void pass(const uint8_t* bytes, size_t size) {
        hmac_.add(bytes, size);
        crc_.add(bytes, size);
        outer_.append(bytes, size);
        passed_ += size;
    }

    Aes256CbcEncryption aes_;
    HmacSha256 hmac_;
    Sha256 digest_;
    Crc32 crc_;
    ZipTarget& outer_;
    std::vector<uint8_t> cipher_;
    uint64_t size_ = 0;
    uint64_t passed_ = 0;
};

tstring baseName(const tstring& setupFile) {
    const tstring suffix = L".exe";
    if (setupFile.size() > suffix.size() && tstrings::endsWith(setupFile, suffix, tstrings::IgnoreCase)) {
        return setupFile.substr(0, setupFile.size() - suffix.size());
    }
    return setupFile;
}

void writePackage(StagedOutput& output, const InputFile& setup, const tstring& setupFile, const IntuneApp& app) {
    IntuneEncryption keys;
    randomBytes(keys.encryptionKey.data(), keys.encryptionKey.size());
    randomBytes(keys.macKey.data(), keys.macKey.size());
    randomBytes(keys.iv.data(), keys.iv.size());

    StagedZipTarget target(output);
    ZipWriter outer(target);
    // HMAC ‖ IV ‖ ciphertext: the MAC, known last, goes first.
    const uint64_t content = outer.beginPlaced("IntuneWinPackage/Contents/IntunePackage.intunewin");
    const std::array<uint8_t, 32> macPlace{};
    target.append(macPlace.data(), macPlace.size());
    EncryptingTarget encrypting(keys, target);
    ZipWriter inner(encrypting);
    inner.begin(tstrings::toUtf8(setupFile), ZipWriter::Method::Deflated);
    setup.visit(0, setup.size(), [&inner](uint64_t, const uint8_t* bytes, size_t size) { inner.write(bytes, size); });
    inner.end();
    inner.finish();
    uint32_t restCrc = 0;
    uint64_t restSize = 0;
    encrypting.finish(keys, restCrc, restSize);
    target.overwrite(content, keys.mac.data(), keys.mac.size());
    Crc32 macCrc;
    macCrc.add(keys.mac.data(), keys.mac.size());
    outer.endPlaced(Crc32::combine(macCrc.value(), restCrc, restSize), keys.mac.size() + restSize);
    outer.add("IntuneWinPackage/Metadata/Detection.xml", ZipWriter::Method::Stored,
              detectionXml(app, setupFile, keys));
    outer.finish();
}

} // namespace

void writeIntunePackage(const IntuneRequest& request) {
    FieldChecks::requireDirectory(request.directory);
    // Watched from here: a polite end before the publication leaves nothing.
    OutputSet outputs;
    // Before the setup is opened: Windows would open another file for a
    // name with a trailing dot or blank.
    const tstring setupFile = WindowsFileName::leafOf(request.setup);
    WindowsFileName::require(setupFile, "The setup's file name");
    const InputFile setup(request.setup);
    if (setup.size() > largestSetup) {
        VK_THROW_MSG(request.setup << " has " << setup.size() << " bytes: velkin-pack makes Intune packages of "
                                   << "setups up to " << largestSetup << " bytes");
    }
    const FileContents contents = FieldChecks::readSetup(request.setup, "an Intune package carries");
    const IntuneApp app = intuneApp(contents.package);
    const tstring name = baseName(setupFile);
    const tstring packageFile = name + L".intunewin";
    const tstring packagePath = PackFiles::inDirectory(request.directory, packageFile);
    const tstring definitionPath = PackFiles::inDirectory(request.directory, name + L".win32LobApp.json");
    for (const tstring& path : {packagePath, definitionPath}) {
        refuseOutputOverInput(path, request.setup, L"the setup executable");
    }
    StagedOutput& package = outputs.add(packagePath);
    StagedOutput& definition = outputs.add(definitionPath);
    const std::string json = win32LobAppJson(app, setupFile, packageFile);
    definition.write(0, json.data(), json.size());
    writePackage(package, setup, setupFile, app);
    outputs.publish();
}
