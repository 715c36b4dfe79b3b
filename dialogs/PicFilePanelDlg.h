// The picture file panel: a child dialog (template 226) for choosing a picture file by volume, folder and
// thumbnail. It shows a volume box, the folder tree of the shell namespace, the thumbnails of the current
// folder's pictures of one type, a type box, a name edit, three information lines, a view toggle and a
// preview of the current file. Hosts embed it in a window of their own (a Qt host passes
// CWnd::FromHandle(itsWidget) to Create), place and show it, and read the choice with GetFileFullPath().
// The panel never closes itself and tells its host nothing.
//
// Volumes are the computer folder's: entry i of the volume box is the volume mounted at m_szDrives[i].
// Folder paths always end in '/'. Once the panel is ready, a search reads the folder off the user-interface
// thread, behind a progress window when it takes long: windows keep painting, and the user's input waits
// until the search ends. A host must not destroy the panel from a timer or posted call while a search runs.
#pragma once

#include <memory>
#include <vector>

#include "KivPictureBase.h"
#include "dialogs/ShellTree.h"
#include "libraries/KivPublic.h"
#include "libraries/window/KivGuiDialogs.h"
#include "libraries/window/KivGuiSkin.h"
#include "media/window/ClipMediaListCtrl.h"

struct KivImageList;

// The size query's answer, in pixels.
struct MINMAXINFO {
    POINT ptReserved;
    POINT ptMaxSize;
    POINT ptMaxPosition;
    POINT ptMinTrackSize;
    POINT ptMaxTrackSize;
};

class KIV_API CKivPicFilePanelDlg : public CKivAquaBaseDlg {
  public:
    // Types of the filter given to Create.
    enum FileType { kAllTypes = 0, kTga, kBmp, kGif, kPcx, kJpg, kPsd, kTypeCount };

    explicit CKivPicFilePanelDlg(CWnd* pParent = nullptr);
    ~CKivPicFilePanelDlg() override;

    // Creates the panel hidden, as a child of pParent, to open (bOpen nonzero) or save a file of the
    // given type, starting at strPath (a file or a folder; empty or missing: the current directory).
    // Nonzero on success.
    virtual int Create(int bOpen, int nFileType, CString strPath, CWnd* pParent);

    // The folder followed directly by the name.
    CString GetFileFullPath();
    // Selects the volume holding the path and walks the tree down its folders, as far as they exist.
    void InitSelectDirectory(const wchar_t* pszPath);
    // Leaves only the volume mounted at mountPoint in the tree, selected and expanded.
    void SelectDrive(const CString& mountPoint);
    // Searches the current folder for the type of entry nIndex of the type box (-1: empties the list).
    void SelectFileType(int nIndex);
    // The type (FileType) of the type box's selected entry; -1 when none is selected.
    int SelectedFileType();
    // Replaces the records by those of the pictures in strDir (ending in '/') with one of strExts.
    void SearchFile(CString strDir, CString strExts);
    void FillCBDriveType();
    void FillCBFileType();
    // Appends a volume entry "<type name>(<mount point>)"; the image indices are not shown.
    void SetDriveImage(const CString& mountPoint, CString strTypeName, int nImage, int nSelImage);
    // Paints the current file into the preview rectangle, framed.
    void DrawPreview();
    // Releases the volume icons.
    void ClearMem();
    // For hosts: what a double click in the list should do (OnOK, which does nothing here).
    void ProcessDblClkListCtrl();

    CKivAquaComboBox m_cbDriveType;
    CKivAquaComboBox m_cbFileType;
    CString m_strFilePath;  // the current folder, ending in '/'
    CString m_strFileName;  // the current name, without folder
    CString m_strFileSize;
    CString m_strImageSize;
    CKvStatic m_stFilePath;
    CKvEdit m_edFileName;
    CKvStatic m_stFileSize;
    CKvStatic m_stImageSize;
    CKivAquaAutoMaker m_autoMaker;
    int m_bInitialized = 0;
    std::vector<CString> m_szDrives;  // the mount point of each volume box entry
    CKivObList m_mediaList;           // the records of the current folder and type; the panel's own
    int m_nFileType = kAllTypes;
    int m_bOpen = 1;
    CKivClipMediaListCtrl m_listCtrl;
    int m_bAutoSearch = 0;  // nonzero: a tree selection searches the folder
    int m_bSearching = 0;   // nonzero while SearchFile gathers records
    CString m_strDriveTypeNames[4];  // removable, fixed, remote, optical
    CString m_strFileTypeNames[kTypeCount];

    // The folder tree (control 1003).
    CKivPicFileShellTree& Tree() { return m_treeDirectory; }

    // Message handlers.
    void OnPaint() override;
    void OnSize(UINT type, int width, int height) override;
    void OnGetMinMaxInfo(MINMAXINFO* info);
    void OnSelchangeComboDriveType();
    void OnSelchangeComboFileType();
    void OnSelChangedTreeDirectory(NMHDR* notification, LRESULT* result);
    void OnDeleteItemTreeDirectory(NMHDR* notification, LRESULT* result);
    void OnSelchangeListFile();
    void OnChangeFileName();
    void OnBtnView();

  protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;

  private:
    // The type box's types in box order, for the filter and mode.
    std::vector<int> FileTypesOfBox() const;
    // Replaces the template's tree placeholder by the shell tree.
    void CreateTree();
    // Deletes the records, and the list's cells first.
    void ClearRecords();

    CKivPicFileShellTree m_treeDirectory;
    std::unique_ptr<KivImageList> m_driveImages;

    DECLARE_MESSAGE_MAP()
};
