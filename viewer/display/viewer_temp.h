// Each viewer's own temporary folder for the copies it shows and prints (TempPrintDoc.doc and its .htm),
// made with mkdtemp (mode 0700) so that two viewers never see, print or delete each other's files, and
// removed with everything in it when the viewer ends.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

namespace display {

class ViewerTempFolder {
  public:
    // A new folder "lumetra-XXXXXX" in `parent` (empty: the temp folder); nullptr with the reason in `why`.
    static std::unique_ptr<ViewerTempFolder> Create(std::string* why = nullptr,
                                                    const std::filesystem::path& parent = {});
    ~ViewerTempFolder();
    ViewerTempFolder(const ViewerTempFolder&) = delete;
    ViewerTempFolder& operator=(const ViewerTempFolder&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    // The copy of the shown document that printing through the word processor opens.
    std::filesystem::path PrintCopyPath() const { return m_path / "TempPrintDoc.doc"; }
    // The converter's HTML of a word-processor document.
    std::filesystem::path HtmlPath() const { return m_path / "TempPrintDoc.htm"; }

  private:
    explicit ViewerTempFolder(std::filesystem::path path) : m_path(std::move(path)) {}
    std::filesystem::path m_path;
};

}  // namespace display
