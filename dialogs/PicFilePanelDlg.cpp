#include "dialogs/PicFilePanelDlg.h"

#include <QApplication>
#include <QBitmap>
#include <QPixmap>
#include <QWidget>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>

#include "KivPicture.h"
#include "KivPictureUi.h"
#include "libraries/KivModuleRC.h"
#include "libraries/window/KivGuiProgress.h"
#include "libraries/window/KivModuleRCWindow.h"
#include "media/ClipMediaObj.h"
#include "picture/window/UiModule.h"
#include "platform/window/WindowSystem.h"
#include "platform/window/WindowWidgets.h"

namespace {

constexpr UINT kPanelTemplate = 226;
constexpr UINT kStringFileTypes = 410;   // 410-416, in FileType order
constexpr UINT kStringDriveTypes = 500;  // 500-503: removable, fixed, remote, optical
constexpr UINT kStringOpening = 673;
// While a search runs: how long before the progress window shows, and how often it shows the count of
// pictures read.
constexpr std::chrono::milliseconds kProgressDelay{150};
constexpr int kProgressIntervalMs = 50;
// How long a search may hold the window thread before the windows are painted beside it: a trusted cache
// loads in less, and painting beside it would only slow it down.
constexpr int kQuietMs = 40;
constexpr LPCWSTR kCacheFileName = L"VudEvovi.pmf";

// Control IDs of template 226.
enum : int {
    kIdDrives = 1002, kIdTree = 1003, kIdFileTypes = 1006, kIdFilePath = 1010, kIdFileSize = 1000,
    kIdImageSize = 1001, kIdList = 4001, kIdName = 4002, kIdPreview = 4003, kIdView = 4004,
    kIdTypeLabel = 4017, kIdNameLabel = 4016, kIdPathLabel = 4015, kIdSizeLabel = 4013, kIdImageLabel = 4014,
};

// The extension list searched for each type.
constexpr LPCWSTR kExtensions[CKivPicFilePanelDlg::kTypeCount] = {
    L"bmp,tga,jpg,gif,pcx,psd", L"tga,", L"bmp,", L"gif,", L"pcx,", L"jpg,", L"psd,"};

constexpr COLORREF kPanelBack = 0x9C9EA1;
constexpr COLORREF kTreeBack = 0xB8B8B8;
constexpr COLORREF kFrameDark = 0x5A5A5C;
constexpr COLORREF kFrameLight = 0xBFC1C4;

CString WithSeparator(CString folder) {
    if (folder.IsEmpty() || folder.Text().back() != L'/') folder += L"/";
    return folder;
}

CString CurrentFolder() {
    std::error_code error;
    const std::filesystem::path current = std::filesystem::current_path(error);
    return WithSeparator(error ? CString(L"/") : CString::FromFileSystem(current.string()));
}

bool PathExists(const CString& path) {
    std::error_code error;
    return std::filesystem::exists(std::filesystem::path(path.ToFileSystem()), error);
}

// Whether the volume mounted at mountPoint holds path.
bool OnVolume(const std::wstring& path, const std::wstring& mountPoint) {
    if (mountPoint == L"/") return !path.empty() && path.front() == L'/';
    return path.starts_with(mountPoint) && (path.size() == mountPoint.size() || path[mountPoint.size()] == L'/');
}

// The '/'-separated components of text, each trimmed of spaces, empty ones dropped.
std::vector<CString> Components(const std::wstring& text) {
    std::vector<CString> parts;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(L'/', start);
        if (end == std::wstring::npos) end = text.size();
        CString part(text.substr(start, end - start));
        if (!part.Trim().IsEmpty()) parts.push_back(part);
        start = end + 1;
    }
    return parts;
}

// A shell object released when it goes.
template <class T>
struct ShellRef {
    T* p = nullptr;
    ShellRef() = default;
    ShellRef(const ShellRef&) = delete;
    ShellRef& operator=(const ShellRef&) = delete;
    ~ShellRef() {
        if (p) p->Release();
    }
};

// An id list of the shell allocator, freed when it goes.
struct IdList {
    LPITEMIDLIST p = nullptr;
    IdList() = default;
    explicit IdList(LPITEMIDLIST list) : p(list) {}
    IdList(const IdList&) = delete;
    IdList& operator=(const IdList&) = delete;
    ~IdList() {
        ShellRef<IMalloc> allocator;
        if (p && SHGetMalloc(&allocator.p) >= 0) allocator.p->Free(p);
    }
};

// The volumes of the computer folder in its order: mount point and drive type.
std::vector<std::pair<CString, UINT>> ListVolumes() {
    std::vector<std::pair<CString, UINT>> volumes;
    ShellRef<IShellFolder> desktop, computer;
    IdList computerList;
    ShellRef<IEnumIDList> items;
    if (SHGetDesktopFolder(&desktop.p) < 0 ||
        SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &computerList.p) < 0 ||
        desktop.p->BindToObject(computerList.p, nullptr, IID_IShellFolder, reinterpret_cast<void**>(&computer.p)) < 0 ||
        computer.p->EnumObjects(nullptr, SHCONTF_FOLDERS, &items.p) < 0)
        return volumes;
    for (;;) {
        IdList item;
        ULONG fetched = 0;
        if (items.p->Next(1, &item.p, &fetched) != S_OK || fetched != 1) break;
        IdList absolute(CKivPicFileShellPidl::ConcatIdLists(computerList.p, item.p));
        wchar_t path[MAX_PATH] = {};
        if (absolute.p && SHGetPathFromIDListW(absolute.p, path)) volumes.emplace_back(path, GetDriveTypeW(path));
    }
    return volumes;
}

// The wait cursor for as long as it lives.
class WaitCursor {
  public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

// A flag set for as long as it lives.
class FlagWhile {
  public:
    explicit FlagWhile(int& flag) : flag_(flag) { flag_ = 1; }
    ~FlagWhile() { flag_ = 0; }
    FlagWhile(const FlagWhile&) = delete;
    FlagWhile& operator=(const FlagWhile&) = delete;

  private:
    int& flag_;
};

}  // namespace

BEGIN_MESSAGE_MAP(CKivPicFilePanelDlg, CKivAquaBaseDlg)
ON_WM_PAINT()
ON_WM_SIZE()
ON_WM_GETMINMAXINFO()
ON_CBN_SELCHANGE(kIdDrives, &CKivPicFilePanelDlg::OnSelchangeComboDriveType)
ON_CBN_SELCHANGE(kIdFileTypes, &CKivPicFilePanelDlg::OnSelchangeComboFileType)
ON_NOTIFY(TVN_SELCHANGEDW, kIdTree, &CKivPicFilePanelDlg::OnSelChangedTreeDirectory)
ON_NOTIFY(TVN_DELETEITEMW, kIdTree, &CKivPicFilePanelDlg::OnDeleteItemTreeDirectory)
ON_CONTROL(CKivAquaListCtrl::kNotifySelChange, kIdList, &CKivPicFilePanelDlg::OnSelchangeListFile)
ON_EN_CHANGE(kIdName, &CKivPicFilePanelDlg::OnChangeFileName)
ON_BN_CLICKED(kIdView, &CKivPicFilePanelDlg::OnBtnView)
END_MESSAGE_MAP()

CKivPicFilePanelDlg::CKivPicFilePanelDlg(CWnd* pParent)
    : CKivAquaBaseDlg(kPanelTemplate, pParent), m_strFilePath(CurrentFolder()) {}

CKivPicFilePanelDlg::~CKivPicFilePanelDlg() {
    ClearMem();
    // The tree reports its deletions here, so it goes while this panel can still free their records.
    m_treeDirectory.DestroyWindow();
    DestroyWindow();
}

void CKivPicFilePanelDlg::DoDataExchange(CDataExchange* pDX) {
    CKivAquaBaseDlg::DoDataExchange(pDX);
    DDX_Control(pDX, kIdDrives, m_cbDriveType);
    DDX_Control(pDX, kIdFileTypes, m_cbFileType);
    DDX_Control(pDX, kIdFilePath, m_stFilePath);
    DDX_Control(pDX, kIdName, m_edFileName);
    DDX_Control(pDX, kIdFileSize, m_stFileSize);
    DDX_Control(pDX, kIdImageSize, m_stImageSize);
    DDX_Text(pDX, kIdFilePath, m_strFilePath);
    DDX_Text(pDX, kIdName, m_strFileName);
    DDX_Text(pDX, kIdFileSize, m_strFileSize);
    DDX_Text(pDX, kIdImageSize, m_strImageSize);
}

int CKivPicFilePanelDlg::Create(int bOpen, int nFileType, CString strPath, CWnd* pParent) {
    m_strFileSize.Empty();
    m_strImageSize.Empty();
    m_bAutoSearch = 0;
    m_nFileType = nFileType;
    if (!strPath.IsEmpty() && !PathExists(strPath)) strPath.Empty();
    if (strPath.IsEmpty()) {
        m_strFilePath = CurrentFolder();
        m_strFileName.Empty();
    } else {
        // Folder with its final separator, and the name after it (none for a path ending in '/').
        const std::wstring& path = strPath.Text();
        const size_t slash = path.rfind(L'/');
        m_strFilePath = slash == std::wstring::npos ? CurrentFolder() : CString(path.substr(0, slash + 1));
        m_strFileName = CString(slash == std::wstring::npos ? path : path.substr(slash + 1));
    }
    m_bOpen = bOpen;
    const HINSTANCE module = GetKivPictureUiModuleHandle();
    for (UINT i = 0; i < 4; ++i) CKivModuleRC::LoadStringW(module, kStringDriveTypes + i, m_strDriveTypeNames[i]);
    for (UINT i = 0; i < kTypeCount; ++i) CKivModuleRC::LoadStringW(module, kStringFileTypes + i, m_strFileTypeNames[i]);
    return DlgCreate(module, pParent, kPanelTemplate);
}

BOOL CKivPicFilePanelDlg::OnInitDialog() {
    m_autoMaker.Attach(this);
    CKivAquaBaseDlg::OnInitDialog();
    m_bInitialized = 0;
    CreateTree();
    m_treeDirectory.AttachSystemImageList();
    FillCBDriveType();
    FillCBFileType();

    m_bAutoSearch = 0;
    InitSelectDirectory(m_strFilePath);
    m_bAutoSearch = 1;

    for (int id : {kIdFilePath, kIdName, kIdFileSize, kIdImageSize})
        if (CWnd* control = GetDlgItem(id)) control->SetFont(CKivGuiFont::GetFont(), TRUE);
    UpdateData(FALSE);
    OnSelchangeComboFileType();  // the first search: no progress window yet, no list yet

    m_listCtrl.Create(this, kIdList, 0);
    m_listCtrl.SetIconAttr(CSize(64, 48), 1, 1, 1);
    m_listCtrl.SetClipMediaList(&m_mediaList);
    m_listCtrl.SetCellCount(static_cast<int>(m_mediaList.GetCount()), 0, 1);
    m_listCtrl.RecalcLayout(1, 1);

    // The start file's record, without filling the information lines.
    int index = 0;
    for (POSITION position = m_mediaList.GetHeadPosition(); position; ++index) {
        auto* record = dynamic_cast<CKivClipMediaObj*>(m_mediaList.GetNext(position));
        if (record && record->GetPureFileName().CompareNoCase(m_strFileName) == 0) {
            m_listCtrl.SetCurSel(index, 1);
            break;
        }
    }
    DrawPreview();

    m_treeDirectory.SetBkColor(kTreeBack);
    if (HIMAGELIST icons = m_treeDirectory.GetImageList(TVSIL_NORMAL)) ImageList_SetBkColor(icons, kTreeBack);
    m_treeDirectory.SetTextColor(0);
    m_bInitialized = 1;
    return TRUE;
}

void CKivPicFilePanelDlg::CreateTree() {
    CWnd* placeholder = GetDlgItem(kIdTree);
    if (placeholder == nullptr || m_treeDirectory.m_hWnd != nullptr) return;
    QWidget* place = placeholder->m_hWnd;
    CRect rect;
    placeholder->GetWindowRect(&rect);
    ScreenToClient(&rect);
    placeholder->SetDlgCtrlID(0);  // from now on the ID names the shell tree
    constexpr DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_BORDER | TVS_HASBUTTONS | TVS_HASLINES |
                            TVS_LINESATROOT | TVS_EDITLABELS | TVS_SHOWSELALWAYS;
    if (!m_treeDirectory.Create(style, rect, this, kIdTree)) return;
    TakePlaceOf(place, m_treeDirectory.m_hWnd);
}

void CKivPicFilePanelDlg::OnOK() {}

void CKivPicFilePanelDlg::OnCancel() {}

CString CKivPicFilePanelDlg::GetFileFullPath() { return m_strFilePath + m_strFileName; }

void CKivPicFilePanelDlg::ProcessDblClkListCtrl() { OnOK(); }

std::vector<int> CKivPicFilePanelDlg::FileTypesOfBox() const {
    if (m_nFileType == kAllTypes)
        return m_bOpen ? std::vector<int>{kAllTypes, kTga, kBmp, kGif, kPcx, kJpg, kPsd}
                       : std::vector<int>{kTga, kBmp, kPcx, kJpg, kPsd};
    if (m_nFileType > kAllTypes && m_nFileType < kTypeCount) return {m_nFileType};
    return {};
}

int CKivPicFilePanelDlg::SelectedFileType() {
    const std::vector<int> types = FileTypesOfBox();
    const int index = m_cbFileType.m_hWnd ? m_cbFileType.GetCurSel() : -1;
    return index >= 0 && size_t(index) < types.size() ? types[size_t(index)] : -1;
}

void CKivPicFilePanelDlg::FillCBFileType() {
    m_cbFileType.ResetContent();
    for (int type : FileTypesOfBox()) m_cbFileType.AddString(m_strFileTypeNames[type]);
    m_cbFileType.SetCurSel(0);
}

void CKivPicFilePanelDlg::FillCBDriveType() {
    m_cbDriveType.ResetContent();
    m_szDrives.clear();
    // The volume icons (removable, fixed, optical, remote) on white; the box shows text only.
    m_driveImages = std::make_unique<KivImageList>();
    for (UINT id : {131u, 130u, 129u, 132u}) {
        CBitmap bitmap;
        QPixmap pixmap;
        if (CKivModuleRC::LoadBitmapW(GetKivPictureUiModuleHandle(), id, bitmap) && bitmap.GetQImage())
            pixmap = QPixmap::fromImage(*bitmap.GetQImage());
        if (!pixmap.isNull()) pixmap.setMask(pixmap.createMaskFromColor(Qt::white));
        m_driveImages->icons.emplace_back(pixmap);
    }
    for (const auto& [mountPoint, type] : ListVolumes()) {
        switch (type) {
            case DRIVE_REMOVABLE: SetDriveImage(mountPoint, m_strDriveTypeNames[0], 0, 0); break;
            case DRIVE_FIXED: SetDriveImage(mountPoint, m_strDriveTypeNames[1], 1, 1); break;
            case DRIVE_REMOTE: SetDriveImage(mountPoint, m_strDriveTypeNames[2], 3, 3); break;
            case DRIVE_CDROM: SetDriveImage(mountPoint, m_strDriveTypeNames[3], 2, 2); break;
            default: break;
        }
    }
    m_cbDriveType.SetCurSel(m_cbDriveType.GetCount() >= 2 ? 1 : -1);
}

void CKivPicFilePanelDlg::SetDriveImage(const CString& mountPoint, CString strTypeName, int, int) {
    m_cbDriveType.AddString(strTypeName + L"(" + mountPoint.DisplayText() + L")");
    m_szDrives.push_back(mountPoint);
}

void CKivPicFilePanelDlg::ClearMem() { m_driveImages.reset(); }

void CKivPicFilePanelDlg::InitSelectDirectory(const wchar_t* pszPath) {
    std::wstring path = pszPath ? pszPath : L"";
    if (path.size() > 1 && path.back() == L'/') path.pop_back();
    // The volume holding the path: the longest mount point that prefixes it.
    int volume = -1;
    for (size_t i = 0; i < m_szDrives.size(); ++i)
        if (OnVolume(path, m_szDrives[i].Text()) &&
            (volume < 0 || m_szDrives[i].GetLength() > m_szDrives[size_t(volume)].GetLength()))
            volume = int(i);

    if (!PathExists(CString(path))) {
        // The volume of the home folder, else the root's; else the box keeps its selection.
        const char* home = std::getenv("HOME");
        const std::wstring homePath = home ? CString::FromFileSystem(home).Text() : std::wstring();
        int fallback = -1;
        for (size_t i = 0; i < m_szDrives.size(); ++i) {
            const std::wstring& mount = m_szDrives[i].Text();
            if (!homePath.empty() && OnVolume(homePath, mount) &&
                (fallback < 0 || mount.size() > m_szDrives[size_t(fallback)].Text().size()))
                fallback = int(i);
        }
        for (size_t i = 0; fallback < 0 && i < m_szDrives.size(); ++i)
            if (m_szDrives[i].Text() == L"/") fallback = int(i);
        if (fallback >= 0) m_cbDriveType.SetCurSel(fallback);
        OnSelchangeComboDriveType();
        return;
    }
    if (volume < 0) {  // on no listed volume: the box's own selection
        OnSelchangeComboDriveType();
        return;
    }
    m_cbDriveType.SetCurSel(volume);
    OnSelchangeComboDriveType();

    const std::wstring& mount = m_szDrives[size_t(volume)].Text();
    const std::vector<CString> folders = Components(path.substr(std::min(path.size(), mount.size())));
    HTREEITEM root = m_treeDirectory.GetRootItem();
    if (folders.empty()) {
        m_treeDirectory.SelectItem(root);
        return;
    }
    HTREEITEM matched = nullptr;
    HTREEITEM first = root ? m_treeDirectory.GetChildItem(root) : nullptr;
    for (const CString& folder : folders) {
        HTREEITEM found = nullptr;
        for (HTREEITEM item = first; item && !found; item = m_treeDirectory.GetNextSiblingItem(item))
            if (m_treeDirectory.GetItemText(item).CompareNoCase(folder) == 0) found = item;
        if (!found) break;
        m_treeDirectory.SelectItem(found);  // fills its sub-folders and sets the folder
        m_treeDirectory.Expand(found, TVE_EXPAND);
        matched = found;
        first = m_treeDirectory.GetChildItem(found);
    }
    m_treeDirectory.SelectItem(matched);
}

void CKivPicFilePanelDlg::OnSelchangeComboDriveType() {
    UpdateData(TRUE);
    const int selection = m_cbDriveType.GetCurSel();
    if (selection >= 0 && size_t(selection) < m_szDrives.size()) {
        SelectDrive(m_szDrives[size_t(selection)]);
        m_treeDirectory.SelectItem(m_treeDirectory.GetRootItem());
    } else {
        m_treeDirectory.DeleteAllItems();
    }
}

void CKivPicFilePanelDlg::SelectDrive(const CString& mountPoint) {
    m_treeDirectory.FillFromSpecialFolder(CSIDL_DRIVES);
    // A volume shows as "name (mount point)": keep the one item naming this mount point.
    CString key = L"(" + mountPoint.DisplayText() + L")";
    key.MakeUpper();
    HTREEITEM item = m_treeDirectory.GetRootItem();
    while (item) {
        CString text = m_treeDirectory.GetItemText(item);
        if (text.MakeUpper().Text().find(key.Text()) != std::wstring::npos) {
            item = m_treeDirectory.GetNextItem(item, TVGN_NEXTVISIBLE);
        } else {
            m_treeDirectory.DeleteItem(item);
            item = m_treeDirectory.GetRootItem();
        }
    }
    HTREEITEM root = m_treeDirectory.GetRootItem();
    m_treeDirectory.SelectItem(root);
    if (root) m_treeDirectory.Expand(root, TVE_EXPAND);
}

void CKivPicFilePanelDlg::OnSelChangedTreeDirectory(NMHDR* notification, LRESULT* result) {
    UpdateData(TRUE);
    CString folder = m_strFilePath;
    if (m_treeDirectory.OnSelectionChanged(notification, result, folder)) {
        m_strFilePath = WithSeparator(folder);
        UpdateData(FALSE);
        if (m_bAutoSearch) {
            WaitCursor wait;
            OnSelchangeComboFileType();
        }
    }
    *result = 0;
}

void CKivPicFilePanelDlg::OnDeleteItemTreeDirectory(NMHDR* notification, LRESULT* result) {
    auto* tree = reinterpret_cast<NMTREEVIEWW*>(notification);
    CKivPicFileShellTree::ReleaseItemData(reinterpret_cast<ShellTreeItemData*>(tree->itemOld.lParam));
    *result = 0;
}

void CKivPicFilePanelDlg::OnSelchangeComboFileType() {
    UpdateData(TRUE);
    SelectFileType(m_cbFileType.GetCurSel());
}

void CKivPicFilePanelDlg::SelectFileType(int nIndex) {
    ClearRecords();
    const std::vector<int> types = FileTypesOfBox();
    if (nIndex < 0 || size_t(nIndex) >= types.size() || nIndex >= m_cbFileType.GetCount()) return;
    SearchFile(m_strFilePath, kExtensions[types[size_t(nIndex)]]);
    if (m_listCtrl.m_hWnd == nullptr) return;
    m_listCtrl.SetCellCount(static_cast<int>(m_mediaList.GetCount()), 0, 1);
    m_listCtrl.RecalcLayout(1, 1);
    m_listCtrl.SetCurSel(0, 1);
    OnSelchangeListFile();
}

void CKivPicFilePanelDlg::ClearRecords() {
    // The list must not paint records that are gone (the progress window paints while a search runs).
    if (m_listCtrl.m_hWnd) m_listCtrl.SetCellCount(0, 0, 0);
    m_mediaList.DeleteAll();
}

void CKivPicFilePanelDlg::SearchFile(CString strDir, CString strExts) {
    // A search asked for while one runs can only come from a host's timer or posted call (the user's input
    // waits): it is dropped, and the running search's records are shown.
    if (m_bSearching) return;
    ClearRecords();
    const CString cacheFile = strDir + kCacheFileName;
    // Once the panel is ready, the gathering reads the folder on threads of its own while the windows keep
    // painting. The progress window, counting the pictures read, shows only when the search takes long
    // enough to be noticed: a folder whose cache is trusted is listed in milliseconds, and a window
    // flashing on every such click would be noise. The first search, while the panel is being made,
    // blocks: nothing of the host's may run before the panel shows.
    CKivGuiProgressDlg progress;
    CKivObList found;
    std::atomic<int> done{0};
    std::atomic<int> total{0};
    const KivMediaProgress report = [&done, &total](int picturesDone, int pictures) {
        total.store(pictures, std::memory_order_relaxed);
        done.store(picturesDone, std::memory_order_relaxed);
    };
    const auto started = std::chrono::steady_clock::now();
    const auto showProgress = [&] {
        if (progress.m_hWnd == nullptr) {
            if (std::chrono::steady_clock::now() - started < kProgressDelay) return;
            CString text;
            CKivModuleRC::LoadStringW(GetKivPictureUiModuleHandle(), kStringOpening, text);
            progress.Create(nullptr, text, 0, 0, 0, this);
        }
        progress.SetProgress(done.load(std::memory_order_relaxed), total.load(std::memory_order_relaxed));
    };
    int fetched = 0;
    {
        const FlagWhile searching(m_bSearching);
        const auto gather = [&] {
            fetched = KivPictureFetchValidMediaFile(&found, strDir, cacheFile, strExts, report, nullptr);
        };
        if (m_bInitialized)
            RunKeepingWindowsPainted(gather, showProgress, kProgressIntervalMs, kQuietMs);
        else
            gather();
    }
    progress.Close();
    if (fetched) {
        m_mediaList.AddTail(&found);
        found.RemoveAll();  // the records are the panel's now
    }
}

void CKivPicFilePanelDlg::OnSelchangeListFile() {
    UpdateData(TRUE);
    m_strFileName.Empty();
    m_strFileSize.Empty();
    m_strImageSize.Empty();
    const int index = m_listCtrl.GetCurSel();
    POSITION position = index >= 0 ? m_mediaList.FindIndex(index) : nullptr;
    if (auto* record = position ? dynamic_cast<CKivClipMediaObj*>(m_mediaList.GetAt(position)) : nullptr) {
        m_strFileName = record->GetPureFileName();
        m_strFileSize = std::to_wstring(int(record->m_dwFileSizeLow >> 10)) + L"KB";
        m_strImageSize = std::to_wstring(record->m_szMedia.cx) + L" X " + std::to_wstring(record->m_szMedia.cy) +
                         L" (" + std::to_wstring(record->m_wBitCount) + L")";
    }
    DrawPreview();
    UpdateData(FALSE);
}

void CKivPicFilePanelDlg::OnChangeFileName() { UpdateData(TRUE); }

void CKivPicFilePanelDlg::DrawPreview() {
    CWnd* place = GetDlgItem(kIdPreview);
    if (place == nullptr) return;
    CRect rect;
    place->GetWindowRect(&rect);
    ScreenToClient(&rect);
    CDC* dc = GetDC();
    if (dc == nullptr) return;
    KivPictureFileFillWnd(dc, rect, GetFileFullPath(), 0);
    const CRect frame(rect.left + 1, rect.top + 1, rect.right - 1, rect.bottom - 1);
    dc->Draw3dRect(&frame, kFrameDark, kFrameLight);
    ReleaseDC(dc);
}

void CKivPicFilePanelDlg::OnPaint() {
    CPaintDC dc(this);
    KivGuiExcludeChildWndFromDC(this, &dc);
    CRect client;
    GetClientRect(&client);
    dc.FillSolidRect(&client, kPanelBack);
    DrawPreview();
}

void CKivPicFilePanelDlg::OnBtnView() {
    UpdateData(TRUE);
    if (m_listCtrl.GetViewMode() != 0) {
        m_listCtrl.SetIconAttr(CSize(120, 48), 1, 1, 1);
        m_listCtrl.SetViewMode(0, 1);
    } else {
        m_listCtrl.SetIconAttr(CSize(64, 48), 1, 1, 1);
        m_listCtrl.SetViewMode(1, 1);
    }
}

void CKivPicFilePanelDlg::OnGetMinMaxInfo(MINMAXINFO* info) {
    info->ptMinTrackSize = {100, 100};
    info->ptMaxTrackSize = {700, 900};
}

void CKivPicFilePanelDlg::OnSize(UINT type, int width, int height) {
    CKivAquaBaseDlg::OnSize(type, width, height);
    if (!m_bInitialized) return;
    auto rectOf = [this](int id) {
        CRect rect;
        if (CWnd* control = GetDlgItem(id)) {
            control->GetWindowRect(&rect);
            ScreenToClient(&rect);
        }
        return rect;
    };
    auto move = [this](int id, const CRect& rect) {
        if (CWnd* control = GetDlgItem(id)) control->MoveWindow(&rect, TRUE);
    };
    auto down = [](CRect rect, int dy) {
        rect.top += dy;
        rect.bottom += dy;
        return rect;
    };
    CRect client;
    GetClientRect(&client);
    const int w = client.Width();
    const int h = client.Height() - 4;  // 2 pixels off the top and the bottom

    CRect tree = rectOf(kIdTree);
    const CRect preview = rectOf(kIdPreview);
    tree.bottom = tree.top + h - preview.Height() - rectOf(kIdDrives).Height() - 10;
    // The lowest information line reaches a little below the preview: it must stay inside the panel too.
    const int belowPreview = std::max(0, rectOf(kIdImageSize).bottom - preview.bottom);
    tree.bottom = std::min(tree.bottom, client.bottom - 2 - belowPreview - preview.Height() - 3);
    move(kIdTree, tree);
    const int dy = tree.bottom + 3 - preview.top;
    move(kIdPreview, down(preview, dy));
    CRect list = rectOf(kIdList);
    list.bottom = tree.bottom;
    list.right = w - 5;
    move(kIdList, list);
    CRect view = down(rectOf(kIdView), dy);
    const int viewWidth = view.Width();
    view.left = w - viewWidth - 5;
    view.right = view.left + viewWidth;
    move(kIdView, view);
    // In the order the controls sit, top to bottom.
    const std::pair<int, int> rows[] = {{kIdTypeLabel, 0},  {kIdFileTypes, 65}, {kIdNameLabel, 0},
                                        {kIdName, 0},       {kIdPathLabel, 0},  {kIdFilePath, 5},
                                        {kIdSizeLabel, 0},  {kIdFileSize, 5},   {kIdImageLabel, 0},
                                        {kIdImageSize, 5}};
    for (const auto& [id, margin] : rows) {
        CRect rect = down(rectOf(id), dy);
        if (margin) rect.right = w - margin;  // stretched to its margin from the right edge
        // The type box sits beside the view button, whose width follows the font: never under it.
        if (id == kIdFileTypes) rect.right = std::min(rect.right, view.left - 4);
        move(id, rect);
    }
}
