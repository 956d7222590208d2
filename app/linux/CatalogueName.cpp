// The builder's catalogue name on Linux: the template's name with ".INI" in place of its extension.
#include "app/linux/CatalogueName.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {
// What a signal at a question removes before the program ends by it.
char gStaged[PATH_MAX], gLink[PATH_MAX], gDir[PATH_MAX];

void RemoveStaged() {
    if (gStaged[0]) unlink(gStaged);
    if (gLink[0]) unlink(gLink);
    if (gDir[0]) rmdir(gDir);
    gStaged[0] = gLink[0] = gDir[0] = '\0';
}

void RemoveAndEnd(int s) {
    RemoveStaged();
    std::signal(s, SIG_DFL);
    raise(s);
}

void Keep(char (&into)[PATH_MAX], const std::string& path) {
    std::strncpy(into, path.c_str(), PATH_MAX - 1);
    into[PATH_MAX - 1] = '\0';
}

bool Exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}
}  // namespace

CatalogueName::~CatalogueName() {
    Remove();
}

void CatalogueName::Remove() {
    if (dir_.empty()) return;
    RemoveStaged();
    dir_.clear();
}

bool CatalogueName::Prepare(std::string* error) {
    const size_t slash = template_.find_last_of('/');
    const std::string directory = slash == std::string::npos ? "." : template_.substr(0, slash);
    const std::string name = slash == std::string::npos ? template_ : template_.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    const std::string catalogue = (dot == std::string::npos ? name : name.substr(0, dot)) + ".INI";
    if (Exists(directory + "/" + catalogue)) return true;

    // The same name in other letters: the lower-case one first, as shipped.
    std::vector<std::string> found;
    if (DIR* d = opendir(directory.c_str())) {
        while (dirent* e = readdir(d))
            if (strcasecmp(e->d_name, catalogue.c_str()) == 0) found.push_back(e->d_name);
        closedir(d);
    }
    if (found.empty()) return true;  // the logic says it cannot load the catalogue
    std::string real = found.front();
    for (const auto& f : found)
        if (f.size() > 4 && f.compare(f.size() - 4, 4, ".ini") == 0) real = f;

    char resolved[PATH_MAX];
    if (!realpath(directory.c_str(), resolved)) {
        if (error) *error = directory + ": " + std::strerror(errno);
        return false;
    }
    const std::string realDirectory = resolved;
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/norvexflash-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data())) {
        if (error)
            *error = "cannot make a private directory in " + pattern + ": " + std::strerror(errno);
        return false;
    }
    dir_ = buffer.data();
    staged_ = dir_ + "/" + name;
    link_ = dir_ + "/" + catalogue;
    Keep(gDir, dir_);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
        if (std::signal(s, RemoveAndEnd) == SIG_IGN) std::signal(s, SIG_IGN);
    if (symlink((realDirectory + "/" + name).c_str(), staged_.c_str()) != 0 ||
        (Keep(gStaged, staged_), symlink((realDirectory + "/" + real).c_str(), link_.c_str())) !=
            0) {
        if (error) *error = "cannot link the template into " + dir_ + ": " + std::strerror(errno);
        Remove();
        staged_.clear();
        return false;
    }
    Keep(gLink, link_);
    alias_ = {dir_, realDirectory};
    return true;
}
