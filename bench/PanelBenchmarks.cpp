// How the picture file panel feels while it searches, on the catalogue benchmarks' folder of 1000 pictures
// (MixedPictureFolder), the panel shown in a 700 x 520 host on Qt's offscreen platform (unless
// QT_QPA_PLATFORM names another):
//   search-gaps   a cold search (the folder's cache deleted: every picture read) started as a type change
//                 starts it, while a 10 ms timer asks the panel to repaint, as an animation or an expose
//                 would. Counter longest_gap_ms: the longest time between the search's start, each paint
//                 of the panel and its end. Target: under 100 ms. A search on the window thread would
//                 make the whole search one gap; its time is printed beside.
//   click-cells   the folder selected in the folder tree (SelectItem, which is what a click on the item
//                 does after Qt's mouse handling), its cache trusted, until the thumbnail list has painted
//                 its first cells. Before each iteration, untimed, the folder's parent is selected.
//   cache-load    the same folder's trusted cache loaded alone (KivPictureFetchValidMediaFile).
//                 Target: click-cells <= 2 x cache-load.
// Wall-clock medians: the search reads on threads of its own.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "KivPicture.h"
#include "dialogs/PicFilePanelDlg.h"

namespace bench {
namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Notes the time of every paint of the widget it watches.
class PaintTimes : public QObject {
  public:
    std::vector<Clock::time_point> times;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) times.push_back(Clock::now());
        return false;
    }
};

// The panel in its host, on the folder, ready (its first search done); made once, never destroyed, like
// the application object its windows belong to.
struct PanelScene {
    QWidget host;
    CKivPicFilePanelDlg panel;
    HTREEITEM folderItem = nullptr;
    HTREEITEM parentItem = nullptr;

    PanelScene() {
        const PictureFolder& pictures = MixedPictureFolder();
        host.resize(700, 520);
        if (!panel.Create(1, CKivPicFilePanelDlg::kAllTypes, CString::FromUtf8(pictures.folder + "/"),
                          CWnd::FromHandle(&host)))
            Fail("the panel could not be made");
        panel.ShowWindow(SW_SHOW);
        host.show();
        QApplication::processEvents();
        folderItem = panel.Tree().GetSelectedItem();
        parentItem = folderItem ? panel.Tree().GetParentItem(folderItem) : nullptr;
        if (panel.m_strFilePath.ToUtf8() != pictures.folder + "/" || parentItem == nullptr)
            Fail("the panel did not open on " + pictures.folder + " in its tree");
        if (panel.m_mediaList.GetCount() != pictures.pictures) Fail("the panel does not list every picture");
    }
};

PanelScene& TheScene() {
    EnsureWindowSystem();
    static PanelScene* scene = new PanelScene;
    return *scene;
}

void SearchGaps(benchmark::State& state) {
    PanelScene& scene = TheScene();
    const PictureFolder& pictures = MixedPictureFolder();
    PaintTimes paints;
    scene.panel.m_hWnd->installEventFilter(&paints);
    QTimer repaint;
    QObject::connect(&repaint, &QTimer::timeout, [&] { scene.panel.m_hWnd->update(); });
    double longest = 0;
    int painted = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (::unlink(pictures.cacheFile.c_str()) != 0 && errno != ENOENT) Fail("cannot delete the cache file");
        QApplication::processEvents();
        paints.times.clear();
        repaint.start(10);
        state.ResumeTiming();
        const Clock::time_point start = Clock::now();
        scene.panel.SelectFileType(0);
        const Clock::time_point end = Clock::now();
        state.PauseTiming();
        repaint.stop();
        if (scene.panel.m_mediaList.GetCount() != pictures.pictures) {
            state.SkipWithError("the search did not list every picture");
            break;
        }
        Clock::time_point last = start;
        double gap = 0;
        for (const Clock::time_point t : paints.times)
            if (t >= start && t <= end) gap = std::max(gap, Ms(t - std::exchange(last, t)));
        longest = std::max(longest, std::max(gap, Ms(end - last)));
        painted += static_cast<int>(std::count_if(paints.times.begin(), paints.times.end(),
                                                  [&](Clock::time_point t) { return t >= start && t <= end; }));
        state.ResumeTiming();
    }
    scene.panel.m_hWnd->removeEventFilter(&paints);
    state.counters["longest_gap_ms"] = longest;
    state.counters["paints"] = painted;
}

void ClickCells(benchmark::State& state) {
    PanelScene& scene = TheScene();
    QWidget* list = scene.panel.m_listCtrl.m_hWnd;
    PaintTimes paints;
    list->installEventFilter(&paints);
    for (auto _ : state) {
        state.PauseTiming();
        scene.panel.Tree().SelectItem(scene.parentItem);
        QApplication::processEvents();
        paints.times.clear();
        state.ResumeTiming();
        scene.panel.Tree().SelectItem(scene.folderItem);
        while (paints.times.empty()) QApplication::processEvents();
        state.PauseTiming();
        if (scene.panel.m_mediaList.GetCount() != MixedPictureFolder().pictures) {
            state.SkipWithError("the click did not list every picture");
            break;
        }
        state.ResumeTiming();
    }
    list->removeEventFilter(&paints);
}

void CacheLoad(benchmark::State& state) {
    TheScene();  // the cache the clicks trust, written by the panel's own search
    const PictureFolder& pictures = MixedPictureFolder();
    CKivObList list;
    KivMediaFetchReport report;
    for (auto _ : state) {
        KivPictureFetchValidMediaFile(&list, CString::FromUtf8(pictures.folder), CString::FromUtf8(pictures.cacheFile),
                                      CString::FromUtf8(pictures.extensions), {}, &report);
        if (!report.cacheTrusted || list.GetCount() != pictures.pictures) {
            state.SkipWithError("the cache was not trusted");
            break;
        }
        state.PauseTiming();
        list.DeleteAll();
        state.ResumeTiming();
    }
}

void PrintSummary(const RunMedians& medians) {
    const double gap = medians.Counter("panel/search-gaps", "longest_gap_ms");
    const double search = medians.RealMs("panel/search-gaps");
    if (gap >= 0)
        std::printf("\nPanel, cold search of %d pictures: longest time between repaints %.1f ms (target < 100 ms: "
                    "%s); the search itself %.0f ms, what a search on the window thread would freeze\n",
                    MixedPictureFolder().pictures, gap, gap < 100 ? "met" : "MISSED", search);
    const double click = medians.RealMs("panel/click-cells"), load = medians.RealMs("panel/cache-load");
    if (click >= 0 && load > 0)
        std::printf("Panel, trusted folder of %d pictures: click to first painted cells %.2f ms, cache load alone "
                    "%.2f ms, ratio %.2f (target <= 2: %s)\n",
                    MixedPictureFolder().pictures, click, load, click / load, click / load <= 2 ? "met" : "MISSED");
}

}  // namespace

void RegisterPanelBenchmarks() {
    const auto add = [](const char* name, void (*function)(benchmark::State&), int iterations) {
        benchmark::RegisterBenchmark((std::string("panel/") + name).c_str(), function)
            ->Iterations(iterations)
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond);
    };
    add("search-gaps", SearchGaps, 1);
    add("click-cells", ClickCells, 10);
    add("cache-load", CacheLoad, 10);
    AddSummary(PrintSummary);
}

}  // namespace bench
