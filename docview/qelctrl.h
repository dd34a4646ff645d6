// The document-view control Cqelctrl without its toolkit: the dispatch object with its members, the
// engine's view behind CEngineView, its options, events and errors. The window it lives in comes from the
// site (a QWidget in libfennick.so, a recording fake in tests), so this part runs on a scripted engine too.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "docview/annotations.h"
#include "docview/engine_binding.h"
#include "docview/engine_view.h"
#include "docview/fennick_contract.h"
#include "docview/options.h"
#include "docview/page_drawing.h"
#include "docview/qelctrl_redirect.h"
#include "platform/automation/control_interfaces.h"
#include "platform/automation/dispatch_object.h"
#include "platform/automation/property_browsing.h"
#include "platform/user_prompt.h"

namespace docview {

class Cqelctrl;
class IQelPos;
struct MemberSpec;

// The control's window as the control drives it. It belongs to the widget tree: a parent may delete it, and
// it then calls Cqelctrl::OnDestroy from its destructor.
class ControlWindow {
  public:
    virtual ~ControlWindow() = default;
    // What the engine's view is made in (a QWidget*).
    virtual void* Widget() = 0;
    // Runs `task` later on the window's thread, outside the current call.
    virtual void Post(std::function<void()> task) = 0;
    // Repaint the control's own face (the placeholder).
    virtual void Update() = 0;
    // The engine's widget at (0, 0) with the window's size, shown.
    virtual void PlaceView(void* engineWidget) = 0;
    // Invalidate the engine's widget with erasing and repaint it at once.
    virtual void RefreshView(void* engineWidget) = 0;
    virtual void FocusView(void* engineWidget) = 0;
    // The container's ambient user mode: false while its site says design mode. Run mode without a site.
    virtual bool AmbientUserMode() const { return true; }
    // The control goes away first: the window forgets it and is deleted.
    virtual void Dispose() = 0;
};

// The open-file dialog of ViewFile's dialog route. Folder and file name are paths as on disk (UTF-8).
struct FileDialogRequest {
    std::string folder;
    std::string fileName;
    std::string title;
    std::string filterName;
    std::string filterPattern;
    bool operator==(const FileDialogRequest&) const = default;
};
// The chosen path, or nullopt when the user cancels.
using FileChooser = std::function<std::optional<std::string>(const FileDialogRequest&)>;

// The initial folder and file name for a FileSpec text (Windows-1252, "\" or "/" as separators).
FileDialogRequest DialogRequestFor(const std::optional<std::string>& fileSpec);

struct ControlSite {
    // Makes the control's window; called once, when a host first asks for the widget.
    std::function<ControlWindow*(Cqelctrl&)> makeWindow;
    FileChooser chooseFile;
    // Null: the engine's folder from the registry and the library loaded from it.
    std::function<int32_t(EngineApi&)> loadEngine;
    // The host program's path for the registry keys; empty: /proc/self/exe.
    std::string exePath;
    // Where message boxes go; null: the process's prompt.
    std::function<platform::UserPrompt&()> prompt;
    // Opens the property frame on the control's pages (the property verb); null: the verb does nothing.
    std::function<void(Cqelctrl&)> showProperties;
    // Pictures and devices for page drawing; null: the draw members report that no picture can be made.
    std::shared_ptr<PageSurfaces> pageSurfaces;
    // A host's picture as the copy a picture annotation hands the engine; nullopt (or null) when the
    // picture cannot be found or drawn.
    std::function<std::optional<PictureBits>(const PictureSource&)> pictureBits;
};

// The current annotation: the last one added or found.
struct CurrentAnnotation {
    int32_t id = 0;
    int16_t dataType = 0;
    platform::automation::Variant data = platform::automation::Variant::UI1(0);
    LydvwPosition start{};
    LydvwPosition end{};
};

// The control's property pages, in tab order.
class CQelPageList final : public platform::automation::ISpecifyPropertyPages {
  public:
    platform::automation::HRESULT GetPages(std::vector<platform::automation::Guid>& pages) override;
};

// The four file-information fields the control keeps.
struct FileInformation {
    std::string displayName;
    int32_t fileId = 0;
    std::string fileIdName;
    std::string name;
};

class Cqelctrl : public platform::automation::DispatchObject {
  public:
    explicit Cqelctrl(ControlSite site);
    ~Cqelctrl() override;

    platform::automation::HRESULT QueryInterface(const platform::automation::Guid& iid,
                                                 std::shared_ptr<void>& out) override;

    // The widget: made on first use, which is the control's window creation.
    void* Widget();

    // The window's messages.
    void OnDestroy();
    void OnSize();
    void OnSetFocus();
    // True when the control draws its placeholder (no engine view). Shows a pending start-up error once.
    bool OnPaint();
    int64_t OnNotify(uint32_t notification, uint64_t wparam, uint64_t lparam);

    // Records the error; flags 2: message box (when ErrorShowMsg is nonzero) and the Error event;
    // flags 1: throws the DispatchError 0x800A0000 | id with the control's class id as its source.
    void ReportError(uint32_t flags, int32_t id);
    void ClearError();

    // Exchange with the container's property store. Loading gives every persisted property the stored
    // value when it is one the property takes, else the property's default; the control is then clean.
    void LoadProperties(platform::automation::PropertyBag& bag);
    void SaveProperties(platform::automation::PropertyBag& bag);
    // The persisted properties in the order they are exchanged (the fonts last, as "<font>.<member>").
    static std::span<const std::string_view> PersistedProperties();

    int32_t PendingStartupError() const { return m_startupError; }
    bool HasView() const { return m_view && m_view->Exists(); }
    const OptionStore& Options() const { return m_options; }
    bool Dirty() const { return m_dirty; }
    int32_t ErrorCode() const { return m_errorCode; }
    const std::string& ErrorMsg() const { return m_errorMsg; }
    const FileInformation& FileInfo() const { return m_fileInfo; }
    const AnnotationTable& Annotations() const { return m_annotations; }
    const CurrentAnnotation& Current() const { return m_current; }
    // The value an option property holds in the control, as browsing shows it; nullopt for another member.
    std::optional<int32_t> HeldValue(int32_t dispid) const;

  private:
    void OnCreate();
    int32_t LoadEngineFromRegistry(EngineApi& api) const;
    void ShowStartupError(int32_t id);
    platform::UserPrompt& Prompt() const;
    // False (after reporting 16640) when there is no view; otherwise clears the last error.
    bool RequireView();
    void Fire(fennick::Event event, std::vector<platform::automation::Variant> args);
    void Refresh();
    void FetchFileInfo();
    // What a fresh control saves, kept at construction.
    void KeepDefaults();
    // The put argument for a stored value the property takes as it stands; nullopt otherwise.
    std::optional<platform::automation::Variant> AcceptStored(
        const MemberSpec& member, const platform::automation::PropertyValue& stored) const;
    std::optional<platform::automation::Variant> DefaultOf(const MemberSpec& member) const;
    // The font objects' state into the option store (and to the engine when `send`).
    void SyncFont(int index, bool send);

    // Members by family (qelctrl_dispatch.cpp).
    void BuildTable();
    platform::automation::Variant ViewFile(std::span<const platform::automation::Variant> args);

    // Positions and selection (qelctrl_positions.cpp): false for a member of another family.
    bool BindPositionMember(const MemberSpec& member);
    // Search, zoom and full screen (qelctrl_search.cpp): false for a member of another family.
    bool BindSearchMember(const MemberSpec& member);
    // The first objects.size() arguments as position objects; false (after reporting 15, or 16640 when
    // `needsView` and there is no view) when one is not.
    bool PositionArguments(std::span<const platform::automation::Variant> args,
                           std::span<std::shared_ptr<IQelPos>> objects, bool needsView = true);
    // 2087 with `method`, again with `fallback` (when nonzero) if the engine answers 25; the engine's answer.
    int64_t GetPosition(uint32_t method, uint32_t fallback, const LydvwPosition& start,
                        LydvwPosition& result);
    int64_t SelectionEndOf(bool anchor, LydvwPosition& result);

    // Copies of a range and the raw text (qelctrl_copy.cpp): false for a member of another family.
    bool BindCopyMember(const MemberSpec& member);
    platform::automation::HRESULT Copy(std::span<const platform::automation::Variant> args);
    platform::automation::HRESULT GetRawText(int32_t offset, platform::automation::Variant& result);
    std::string RawTextString() const;
    // Printing (qelctrl_print.cpp): false for a member of another family.
    bool BindPrintMember(const MemberSpec& member);
    void PrintOI(int32_t setupDialog, int32_t flags, int32_t abortDialog, int32_t startDocDone);
    // The print options the record does not carry, sent again: values put before the view was made.
    void SendPrintOptions();
    static int32_t AbortThunk(void* context, uint32_t dc, int32_t error);

    // Page drawing (qelctrl_pages.cpp): false for a member of another family.
    bool BindPageMember(const MemberSpec& member);
    // The members' pbReturn: 1 when the page was drawn (or measured), else 0 after reporting why.
    int32_t DrawPageInto(const PageRequest& request);
    int32_t DrawPageInfo(int32_t page, int32_t unitsPerInch, uint32_t outputHandle, uint32_t formatHandle);
    PageDrawState m_pages;
    // Annotations (qelctrl_annotations.cpp): false for a member of another family.
    bool BindAnnotationMember(const MemberSpec& member);
    // 2086; on 0 the found annotation becomes current. The engine's answer, nothing reported.
    int64_t FindCurrent(uint32_t findType, uint32_t criterion, uint32_t match, const LydvwPosition& search);
    // 2066 with `record`, whose token field is filled from a new table entry for (id, data); on 0 the
    // annotation becomes current, otherwise the entry is dropped and the answer reported.
    template <typename Record>
    void AddAnnotation(uint32_t kind, Record& record, const platform::automation::Variant& data,
                       const LydvwPosition& start, const LydvwPosition& end);
    int64_t AnnotationNotification(uint64_t lparam);

    // Notifications (qelctrl_events.cpp).
    int64_t ViewThisFile(uint64_t lparam);
    int64_t FileChange(uint64_t lparam);
    static int64_t NotifyThunk(void* context, uint32_t notification, uint64_t wparam, uint64_t lparam);
    static int32_t StatusCallback(LydvwView* view);
    void PutStatusEvents(int32_t value);

    // Redirected input (qelctrl_redirect.cpp): records live from their making until the engine closes them,
    // or until the control goes.
    friend class RedirectRecord;
    RedirectRecord* NewRedirect(platform::automation::Variant fileSpec, platform::automation::Variant data,
                                std::shared_ptr<IQelIORedir> object);
    void DropRedirect(RedirectRecord* record);
    // LydvwViewFile.spec for spec_type 13: the opened record, or null after reporting why not.
    RedirectRecord* OpenRedirect(const platform::automation::Variant& fileSpec,
                                 const platform::automation::Variant& redirect);
    std::vector<std::unique_ptr<RedirectRecord>> m_redirects;

    ControlSite m_site;
    ControlWindow* m_window = nullptr;
    bool m_windowMade = false;
    // Set while the last holder releases the control: sinks hear nothing of the teardown.
    bool m_releasing = false;
    std::unique_ptr<CEngineView> m_view;
    int32_t m_startupError = 0;
    int32_t m_errorCode = 0;
    std::string m_errorMsg;
    int32_t m_errorShowMsg = 1;
    int32_t m_statusEvents = 0;
    OptionStore m_options;
    bool m_dirty = false;
    FileInformation m_fileInfo;
    std::string m_engineName;
    int32_t m_engineType = LYDVW_TYPE_NONE;
    int16_t m_clipInfo = 0;  // the engine's last clipboard information
    // The last Copy's 8-bit text, as far as the engine's block held it.
    std::string m_copyBuffer;
    // The last raw-text piece: its bytes with a terminator, and the width they were fetched in.
    struct RawTextPiece {
        std::vector<uint8_t> bytes;
        uint32_t unitWidth = 1;
        int32_t length = 0;  // characters
        int32_t byteLength = 0;
        int32_t charSet = 0;
        int32_t offset = 0;
    } m_rawText;
    // Kept only in the control: the printer by name (port and driver ride along) and the host's device.
    std::string m_printerName;
    std::string m_printerPort;
    std::string m_printerDriver;
    uint32_t m_printerDC = 0;
    AnnotationTable m_annotations;
    CurrentAnnotation m_current;
    // DisplayFont, ClipFont, PrintFont: font objects, the control's own until a host hands it others.
    std::array<std::shared_ptr<platform::automation::IDispatch>, 3> m_fonts;
    platform::automation::CPropertyBrowsing m_browsing;
    CQelPageList m_pageList;
    platform::automation::CControlVerbs m_verbs{[this] {
        if (m_site.showProperties) {
            m_site.showProperties(*this);
        }
    }};
    // Members not built yet keep what is put and give it back.
    std::vector<std::pair<int32_t, platform::automation::Variant>> m_kept;
    // What a fresh control saves: the value a damaged or missing stored one gives.
    std::map<std::string, platform::automation::PropertyValue, std::less<>> m_defaults;
    platform::automation::CControlPersistence m_persistence{
        [this](platform::automation::PropertyBag& bag) { LoadProperties(bag); },
        [this](platform::automation::PropertyBag& bag) { SaveProperties(bag); }};
};

// A font object's state as the engine's font record: face, size in half points (from currency units),
// attributes; and back.
LydvwFontRecord FontRecordOf(platform::automation::IDispatch& font);
// A property of an object through its dispatch interface, converted to `type`; nullopt when it has none.
std::optional<platform::automation::Variant> GetObjectMember(platform::automation::IDispatch& object,
                                                             std::string_view name,
                                                             platform::automation::VarType type);
void WriteFontRecord(platform::automation::IDispatch& font, const LydvwFontRecord& record);

// A control on the site; the shared pointer is what hosts hold.
std::shared_ptr<Cqelctrl> CreateQelctrl(ControlSite site);

}  // namespace docview
