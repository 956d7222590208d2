// The status line's texts, each written once, and the list of them the window makes room for.
#include "app/StatusTexts.h"

namespace status_text {

std::vector<std::string> FlashTexts() {
    const std::string profile = kProfile, download = kDownload, entry = kEntryCritical,
                      verify = kVerify;
    return {profile,
            profile + kFail,
            download,
            download + kFail,
            entry,
            entry + kFail,
            verify,
            verify + kProfileCheckFail,
            verify + kReadFail,
            verify + kCompareFail,
            kCommit,
            kFlashFail,
            kCompleted};
}

std::string Building(const std::string& firmwareFileName) {
    return "Building " + firmwareFileName + "  Please wait... ";
}

std::string Built(const std::string& outputName) {
    return "Build " + outputName + " complete!";
}

}  // namespace status_text
