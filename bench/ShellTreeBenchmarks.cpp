// kivpicture_ui_bench: the folder tree's fills. The top level of the computer folder from this machine's
// mount table, and the first selection of a volume holding 10,000 sub-folders (listing, one look into each
// sub-folder for its own sub-folders, insertion and the sort by name), on Qt's offscreen platform.
#include <benchmark/benchmark.h>

#include <QApplication>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "dialogs/ShellTree.h"

namespace fs = std::filesystem;

namespace {

// The tree's parent: frees each deleted item's record and passes selections to the tree.
class TreeHost : public CWnd {
  public:
    CKivPicFileShellTree tree;
    CString path;

    TreeHost() {
        Create(nullptr, L"host", 0, CRect(0, 0, 300, 400), nullptr, 0);
        tree.Create(TVS_HASBUTTONS | TVS_HASLINES, CRect(0, 0, 300, 400), this, 1003);
        tree.AttachSystemImageList();
    }
    ~TreeHost() override { DestroyWindow(); }

    BOOL OnNotify(WPARAM, LPARAM lParam, LRESULT* result) override {
        auto* notification = reinterpret_cast<NMTREEVIEWW*>(lParam);
        if (notification->hdr.code == TVN_DELETEITEMW)
            CKivPicFileShellTree::ReleaseItemData(reinterpret_cast<ShellTreeItemData*>(notification->itemOld.lParam));
        else if (notification->hdr.code == TVN_SELCHANGEDW)
            tree.OnSelectionChanged(&notification->hdr, result, path);
        return TRUE;
    }
};

void FillComputerTopLevel(benchmark::State& state) {
    TreeHost host;
    for (auto _ : state) {
        host.tree.FillFromSpecialFolder(CSIDL_DRIVES);
        benchmark::DoNotOptimize(host.tree.GetRootItem());
    }
    state.counters["volumes"] = host.tree.GetCount();
}

// A volume of its own (a mount table naming it) with 10,000 empty sub-folders in a shuffled order.
class LargeFolder {
  public:
    explicit LargeFolder(int count) : root_(fs::temp_directory_path() / ("kivpicture-bench-" + std::to_string(::getpid()))) {
        std::vector<int> order(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i) order[static_cast<size_t>(i)] = i;
        std::shuffle(order.begin(), order.end(), std::mt19937(7));
        for (int i : order) fs::create_directories(root_ / "vol" / ("Folder " + std::to_string(i)));
        std::ofstream(root_ / "mountinfo") << "1 0 8:1 / " << (root_ / "vol").string() << " rw - ext4 /dev/sda1 rw\n";
        SetMountTableForTesting((root_ / "mountinfo").c_str());
    }
    ~LargeFolder() {
        SetMountTableForTesting(nullptr);
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

  private:
    fs::path root_;
};

void FillTenThousandFolders(benchmark::State& state) {
    const LargeFolder folder(10000);
    TreeHost host;
    for (auto _ : state) {
        host.tree.FillFromSpecialFolder(CSIDL_DRIVES);
        host.tree.SelectItem(host.tree.GetRootItem());
        benchmark::DoNotOptimize(host.tree.GetChildItem(host.tree.GetRootItem()));
    }
    state.counters["items"] = host.tree.GetCount();
}

}  // namespace

BENCHMARK(FillComputerTopLevel)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(FillTenThousandFolders)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
