#include "pipeline_run/event_names.h"

#include <utility>

#include "download/download_codes.h"
#include "install/install_codes.h"

const char* eventName(std::int32_t code) {
    static constexpr std::pair<std::int32_t, const char*> kNames[] = {
        {DL_CODE_START, "DL_CODE_START"},
        {DL_CODE_PROGRESS, "DL_CODE_PROGRESS"},
        {DL_CODE_SUCCESS, "DL_CODE_SUCCESS"},
        {DL_CODE_FAIL, "DL_CODE_FAIL"},
        {DL_CODE_RETRY, "DL_CODE_RETRY"},
        {DL_CODE_REPORT, "DL_CODE_REPORT"},
        {IST_CODE_START, "IST_CODE_START"},
        {IST_CODE_PROGRESS, "IST_CODE_PROGRESS"},
        {INSTALL_SUCCESS, "INSTALL_SUCCESS"},
        {IST_CODE_FAIL, "IST_CODE_FAIL"},
        {IST_CODE_INST_PATH, "IST_CODE_INST_PATH"},
        {IST_CODE_EXE_PATH, "IST_CODE_EXE_PATH"},
        {IST_CODE_UNINST_EXE, "IST_CODE_UNINST_EXE"},
        {IST_CODE_UNINST_EP, "IST_CODE_UNINST_EP"},
        {IST_CODE_START_URL, "IST_CODE_START_URL"},
        {IST_CODE_STARTUP_STYLE, "IST_CODE_STARTUP_STYLE"},
        {IST_CODE_TOP_SHOW_DETENTION, "IST_CODE_TOP_SHOW_DETENTION"},
        {IST_CODE_FINISH_CLOSE_DETENTION, "IST_CODE_FINISH_CLOSE_DETENTION"},
        {IST_CODE_MESSAGE, "IST_CODE_MESSAGE"},
        {UNIST_CODE_PROGRESS, "UNIST_CODE_PROGRESS"},
        {UNIST_CODE_SUCCESS, "UNIST_CODE_SUCCESS"},
        {UNIST_CODE_FAIL, "UNIST_CODE_FAIL"},
        {UNIST_CODE_ERROR, "UNIST_CODE_ERROR"},
    };
    for (const auto& [known, name] : kNames) {
        if (known == code) {
            return name;
        }
    }
    return "UNKNOWN";
}
