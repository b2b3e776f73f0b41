#include "support/test_files.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <iterator>
#include <random>

#include "nss/certificate_file.h"

namespace mirebolt::testing {

TempDir::TempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "mirebolt-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        ADD_FAILURE() << "cannot make a temporary folder";
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string FixturePath(const std::string& name) {
    return std::string(MIREBOLT_FIXTURES) + "/" + name;
}

Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::set<std::string> FolderEntries(const std::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

Bytes RandomBytes(std::size_t count) {
    static std::mt19937_64 generator{std::random_device{}()};
    Bytes bytes(count);
    for (auto& byte : bytes) {
        byte = static_cast<std::uint8_t>(generator());
    }
    return bytes;
}

Bytes FromHex(std::string_view hex) {
    Bytes bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(i, 2)), 0, 16)));
    }
    return bytes;
}

platform::Certificate FixtureCertificate(const std::string& name) {
    auto certificates = platform::ReadCertificateFile(FixturePath(name));
    if (!certificates || certificates->empty()) {
        ADD_FAILURE() << "fixture " << name << " holds no certificate";
        return {};
    }
    return std::move(certificates->front());
}

StoreFolder::StoreFolder(const std::string& fixtureName) {
    std::filesystem::copy(FixturePath(fixtureName), directory(),
                          std::filesystem::copy_options::recursive);
}

StoreCopy::StoreCopy(const std::string& fixtureName) : folder_(fixtureName) {
    auto opened = platform::PersonalStore::Open(directory());
    if (!opened) {
        ADD_FAILURE() << "cannot open store " << fixtureName << ": " << opened.failure().text;
        return;
    }
    store_.emplace(std::move(*opened));
}

}  // namespace mirebolt::testing
