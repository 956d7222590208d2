// A fresh directory per test, removed afterwards, with small file helpers.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <random>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

class TempDir {
  public:
    // mkdtemp's pattern by hand, as Windows has no mkdtemp.
    TempDir() {
        std::random_device seed;
        std::mt19937 random(seed());
        for (;;) {
            std::filesystem::path name = std::filesystem::temp_directory_path() /
                                         ("norvex-" + std::to_string(random() % 100000000u));
            std::error_code ec;
            if (std::filesystem::create_directory(name, ec)) {
                path_ = name.string();
                return;
            }
            if (ec) std::abort();
        }
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

    void Write(const std::string& name, const std::string& text) const {
        std::ofstream(File(name), std::ios::binary) << text;
    }
    void Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
        std::ofstream(File(name), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    std::vector<uint8_t> Read(const std::string& name) const {
        std::ifstream in(File(name), std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
    }
    bool Exists(const std::string& name) const { return std::filesystem::exists(File(name)); }

  private:
    std::string path_;
};
