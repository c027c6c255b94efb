#include "skin_images/skin_set.h"

#include <cstdio>

#include "skin_images/drawings.h"

namespace skin_images {

namespace {

constexpr int kAnimationFrames = 24;
constexpr int kAnimationSidePx = 150;
constexpr int kAppIconSidePx = 256;
constexpr Look kLooks[] = {Look::Normal, Look::Hot, Look::Pushed};

// The three looks of a button as three files; `names` gives each file's name, as the layouts
// spell them.
void addLooks(std::vector<ImageJob>& jobs, const std::string (&names)[3], int widthPx, int heightPx,
              const std::function<void(Canvas&, Look)>& draw) {
    for (int i = 0; i < 3; ++i) {
        const Look look = kLooks[i];
        jobs.push_back({names[i], widthPx, heightPx, [draw, look](Canvas& c) { draw(c, look); }});
    }
}

}  // namespace

std::vector<ImageJob> skinImageJobs() {
    const std::string common = "skin/res/common/";
    const std::string main = "skin/res/mainWnd/";
    const std::string prompt = "skin/res/MessageBoxWnd/";
    std::vector<ImageJob> jobs;

    addLooks(jobs, {common + "minbtn1.png", common + "minbtn2.png", common + "minbtn3.png"}, 24, 24,
             drawMinimiseButton);
    addLooks(jobs, {common + "closebtn1.png", common + "closebtn2.png", common + "closebtn3.png"},
             24, 24, drawCloseButton);
    addLooks(jobs,
             {common + "closebtnM_1.png", common + "closebtnM_2.png", common + "closebtnM_3.png"},
             24, 24, drawPromptCloseButton);

    // The main window swaps its background per page; the pages share one look.
    for (const char* name : {"bg1.png", "bg2.png", "bg3.png", "bg4.png"}) {
        jobs.push_back({main + name, 600, 400, drawBackground});
    }
    jobs.push_back({main + "logo.png", 348, 62, drawLogo});
    jobs.push_back(
        {main + "tipLbl.png", 120, 36, [](Canvas& c) { drawTipBubble(c, "请阅读并勾选协议"); }});
    jobs.push_back({main + "Cb1.png", 15, 14, [](Canvas& c) { drawCheckBox(c, false); }});
    jobs.push_back({main + "Cb2.png", 15, 14, [](Canvas& c) { drawCheckBox(c, true); }});
    addLooks(jobs, {main + "backBtn1.png", main + "backBtn2.png", main + "backBtn3.png"}, 64, 30,
             drawBackButton);
    jobs.push_back(
        {main + "customeBtn1.png", 16, 16, [](Canvas& c) { drawChevronButton(c, Look::Normal); }});
    jobs.push_back(
        {main + "customeBtn2.png", 16, 16, [](Canvas& c) { drawChevronButton(c, Look::Hot); }});
    jobs.push_back({main + "installDirEdit.png", 340, 36, drawEditFrame});
    addLooks(jobs, {main + "chDirBtn1.png", main + "chDirBt2.png", main + "chDirBt3.png"}, 81, 36,
             [](Canvas& c, Look look) { drawOutlinedButton(c, look, "修改"); });
    jobs.push_back({main + "installPrg1.png", 520, 8, drawProgressTrack});
    jobs.push_back({main + "installPrg2.png", 520, 8, drawProgressFill});
    jobs.push_back({main + "finished.png", 80, 80, drawFinishedMark});
    addLooks(jobs, {main + "expBtn1.png", main + "expBtn2.png", main + "expBtn3.png"}, 200, 46,
             [](Canvas& c, Look look) { drawFilledButton(c, look, "立即体验"); });
    addLooks(jobs, {main + "installBtn1.png", main + "installBtn2.png", main + "installBtn3.png"},
             200, 46, [](Canvas& c, Look look) { drawFilledButton(c, look, "立即安装"); });

    for (int frame = 0; frame < kAnimationFrames; ++frame) {
        char name[16];
        std::snprintf(name, sizeof name, "%03d.png", frame);
        jobs.push_back({main + "installBtnAnimate/" + name, kAnimationSidePx, kAnimationSidePx,
                        [frame](Canvas& c) { drawInstallingFrame(c, frame, kAnimationFrames); }});
    }

    jobs.push_back({prompt + "icoNetwork.png", 40, 40, drawNetworkIcon});
    jobs.push_back({prompt + "icoQuest.png", 40, 40, drawQuestionIcon});
    jobs.push_back({prompt + "icoWarn.png", 40, 40, drawWarningIcon});

    jobs.push_back({"icon.png", kAppIconSidePx, kAppIconSidePx, drawAppIcon});
    return jobs;
}

std::vector<std::string> writeImages(const std::filesystem::path& outFolder) {
    std::vector<std::string> failed;
    for (const ImageJob& job : skinImageJobs()) {
        Canvas canvas(job.widthPx, job.heightPx);
        job.draw(canvas);
        if (!canvas.writePng(outFolder / job.path)) {
            failed.push_back(job.path);
        }
    }
    return failed;
}

}  // namespace skin_images
