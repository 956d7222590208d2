// A scratch directory of the benchmark process, removed at exit.
#pragma once
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

class BenchDir {
  public:
    static BenchDir& Get() {
        static BenchDir dir;
        return dir;
    }
    std::string Path(const std::string& name) const { return root_ + "/" + name; }
    bool Ok() const { return !root_.empty(); }

    static bool Write(const std::string& path, const std::vector<uint8_t>& bytes) {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (!f) return false;
        bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
        return std::fclose(f) == 0 && ok;
    }

  private:
    BenchDir() {
        std::string pattern =
            std::filesystem::temp_directory_path().string() + "/norvex-bench-XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (mkdtemp(name.data())) root_ = name.data();
    }
    ~BenchDir() {
        std::error_code ec;
        if (!root_.empty()) std::filesystem::remove_all(root_, ec);
    }
    std::string root_;
};
