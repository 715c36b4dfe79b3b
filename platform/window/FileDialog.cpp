#include "platform/window/FileDialog.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QFile>
#include <QGridLayout>
#include <QLineEdit>
#include <QPointer>
#include <QScreen>

#include "platform/window/QtConversions.h"
#include "platform/window/WindowMessageBox.h"
#include "platform/window/WindowSystem.h"

namespace {

// A pattern that matches whatever the letter case, as the system's filters do: "*.tga" as "*.[tT][gG][aA]".
QString CaseFreePattern(const QString& pattern) {
    QString out;
    for (const QChar c : pattern) {
        if (c.isLetter() && c.toLower() != c.toUpper())
            out += QLatin1Char('[') + c.toLower() + c.toUpper() + QLatin1Char(']');
        else
            out += c;
    }
    return out;
}

// "Name|*.a;*.b|Other|*.c||" as Qt's name filters, "Name (*.[aA] *.[bB])": the dialog shows the names alone
// (HideNameFilterDetails strips the last parenthesis), as the system shows its filters.
QStringList NameFilters(const CString& filter) {
    const QStringList parts = ToQString(filter).split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty()) break;  // the closing "||"
        QStringList patterns;
        for (const QString& pattern : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts))
            patterns << CaseFreePattern(pattern.trimmed());
        filters << parts[i] + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return filters;
}

// Paths cross to Qt as their bytes, so a name that is not UTF-8 survives the round trip.
QString PathToQt(const CString& path) {
    const std::string bytes = path.ToFileSystem();
    return QFile::decodeName(QByteArray(bytes.data(), qsizetype(bytes.size())));
}
CString PathFromQt(const QString& path) { return CString::FromFileSystem(QFile::encodeName(path).toStdString()); }

// The window system's own words for its questions, in its translations where loaded.
QString Tr(const char* text) { return QCoreApplication::translate("QFileDialog", text); }

int Ask(QWidget* owner, const QString& text, UINT type) {
    return MessageBoxW(owner, FromQString(text), FromQString(owner->windowTitle()), type);
}

}  // namespace

// Qt's file dialog with the accept step routed through the CFileDialog.
class FileDialogWidget : public QFileDialog {
  public:
    FileDialogWidget(QWidget* owner, CFileDialog* dialog) : QFileDialog(owner), dialog_(dialog) {}

    void accept() override {
        const QStringList names = selectedFiles();
        // A typed folder is entered, as the system does, by Qt's own accept.
        if (names.size() == 1 && QFileInfo(names.first()).isDir()) {
            QFileDialog::accept();
            return;
        }
        if (!dialog_->AcceptNames()) return;
        QDialog::done(Accepted);
    }

  private:
    CFileDialog* dialog_;
};

CFileDialog::CFileDialog(BOOL openFileDialog, LPCWSTR defaultExtension, LPCWSTR fileName, DWORD flags,
                         LPCWSTR filter, CWnd* parentWnd)
    : openFileDialog_(openFileDialog),
      defaultExtension_(defaultExtension),
      fileName_(fileName),
      filter_(filter) {
    m_ofn.Flags = flags | OFN_EXPLORER;
    m_pParentWnd = parentWnd;
}

CFileDialog::~CFileDialog() = default;

std::vector<CString> CFileDialog::CurrentNames() const {
    if (running_ == nullptr) return chosen_;
    // Without a typed name a save dialog reports its folder, which names no file.
    std::vector<CString> names;
    for (const QString& name : running_->selectedFiles())
        if (!QFileInfo(name).isDir()) names.push_back(PathFromQt(name));
    return names;
}

CString CFileDialog::GetPathName() const {
    const std::vector<CString> names = CurrentNames();
    return names.empty() ? CString() : names.front();
}

POSITION CFileDialog::GetStartPosition() const {
    return CurrentNames().empty() ? nullptr : reinterpret_cast<POSITION>(UINT_PTR(1));
}

CString CFileDialog::GetNextPathName(POSITION& position) const {
    const std::vector<CString> names = CurrentNames();
    const auto index = reinterpret_cast<UINT_PTR>(position);
    if (index == 0 || index > names.size()) {
        position = nullptr;
        return CString();
    }
    position = index < names.size() ? reinterpret_cast<POSITION>(index + 1) : nullptr;
    return names[index - 1];
}

bool CFileDialog::AcceptNames() {
    const std::vector<CString> names = CurrentNames();
    if (names.empty()) return false;
    QWidget* const window = running_;
    if (!openFileDialog_ && (m_ofn.Flags & OFN_OVERWRITEPROMPT) && names.size() == 1) {
        const QFileInfo target(PathToQt(names.front()));
        if (target.exists() &&
            Ask(window, Tr("%1 already exists.\nDo you want to replace it?").arg(target.fileName()),
                MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2) != IDYES)
            return false;
    }
    if (OnFileNameOK()) return false;
    for (const CString& name : names) {
        const QFileInfo file(PathToQt(name));
        if ((m_ofn.Flags & OFN_PATHMUSTEXIST) && !file.absoluteDir().exists()) {
            Ask(window, Tr("%1\nDirectory not found.\nPlease verify the correct directory name was given.")
                            .arg(file.absolutePath()), MB_OK | MB_ICONEXCLAMATION);
            return false;
        }
        // A save names a file that need not exist yet: the flag holds for open dialogs only.
        if (openFileDialog_ && (m_ofn.Flags & OFN_FILEMUSTEXIST) && !file.exists()) {
            Ask(window, Tr("%1\nFile not found.\nPlease verify the correct file name was given.").arg(file.fileName()),
                MB_OK | MB_ICONEXCLAMATION);
            return false;
        }
    }
    chosen_ = names;
    return true;
}

INT_PTR CFileDialog::DoModal() {
    if (running_ != nullptr || !AfxEnsureWindowSystem()) return -1;
    chosen_.clear();
    QWidget* owner = m_pParentWnd && m_pParentWnd->m_hWnd ? m_pParentWnd->m_hWnd : QApplication::activeWindow();
    FileDialogWidget dialog(owner, this);
    dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::HideNameFilterDetails |
                      QFileDialog::DontConfirmOverwrite);
    dialog.setAcceptMode(openFileDialog_ ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(!openFileDialog_                             ? QFileDialog::AnyFile
                       : (m_ofn.Flags & OFN_ALLOWMULTISELECT) != 0 ? QFileDialog::ExistingFiles
                                                                    : QFileDialog::ExistingFile);
    const QStringList filters = NameFilters(filter_);
    if (!filters.isEmpty()) dialog.setNameFilters(filters);
    dialog.setDefaultSuffix(ToQString(defaultExtension_));
    if (m_ofn.lpstrTitle != nullptr) dialog.setWindowTitle(QString::fromWCharArray(m_ofn.lpstrTitle));
    if (m_ofn.lpstrInitialDir != nullptr) dialog.setDirectory(PathToQt(m_ofn.lpstrInitialDir));
    if (!fileName_.IsEmpty()) dialog.selectFile(PathToQt(fileName_));

    // The child panel: the template's, else an empty one, so that the panel's handlers always run.
    DialogTemplate panel;
    m_hResources = m_ofn.hInstance;
    const UINT templateId = UINT(reinterpret_cast<UINT_PTR>(m_ofn.lpTemplateName));
    if (!(m_ofn.Flags & OFN_ENABLETEMPLATE) || !LoadTemplate(templateId, panel)) panel = DialogTemplate();
    panel.style = (panel.style & ~WS_POPUP) | WS_CHILD | WS_VISIBLE;
    running_ = &dialog;
    if (!CreateIndirect(panel, CWnd::FromHandle(&dialog))) {
        running_ = nullptr;
        return -1;
    }
    m_hWnd->setMinimumSize(m_hWnd->size());  // the panel places its controls itself, without a layout
    // Below the dialog's own controls, across its whole width, as the system places a template's panel.
    if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout()))
        grid->addWidget(m_hWnd, grid->rowCount(), 0, 1, grid->columnCount());

    const QPointer<QWidget> panelWidget = m_hWnd;
    const auto whilePanel = [this, panelWidget](void (CFileDialog::*handler)()) {
        return [this, panelWidget, handler] {
            if (panelWidget) (this->*handler)();
        };
    };
    QObject::connect(&dialog, &QFileDialog::currentChanged, &dialog, whilePanel(&CFileDialog::OnFileNameChange));
    QObject::connect(&dialog, &QFileDialog::directoryEntered, &dialog, whilePanel(&CFileDialog::OnFolderChange));
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, whilePanel(&CFileDialog::OnTypeChange));
    if (auto* nameEdit = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
        QObject::connect(nameEdit, &QLineEdit::textEdited, &dialog, whilePanel(&CFileDialog::OnFileNameChange));

    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.show();
    OnInitDone();
    if (dialog.isVisible()) {
        QEventLoop loop;
        QObject::connect(&dialog, &QDialog::finished, &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::DialogExec);
    }
    const bool accepted = dialog.result() == QDialog::Accepted;
    if (m_hWnd != nullptr) DestroyWindow();
    running_ = nullptr;
    if (!accepted) chosen_.clear();
    return accepted ? IDOK : IDCANCEL;
}

void CFileDialog::CenterFileDialog() {
    if (running_ == nullptr) return;
    QWidget* owner = running_->parentWidget();
    QRect area = owner ? QRect(owner->mapToGlobal(QPoint(0, 0)), owner->size()) : QRect();
    if (area.isEmpty() && running_->screen() != nullptr) area = running_->screen()->availableGeometry();
    running_->move(area.center() - running_->rect().center());
}

void CFileDialog::OnOK() {
    if (running_ != nullptr) static_cast<QDialog*>(running_)->accept();  // public on QDialog
}

void CFileDialog::OnCancel() {
    if (running_ != nullptr) running_->reject();
}
