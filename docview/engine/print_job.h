// The engine's printing: the open document laid out on a printer through the toolkit's print support, with
// the print, page-setup, print-options and progress dialogs, and the scheduler asked how a job it was given
// ended, since the toolkit reports neither an unknown printer nor a refused job.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "docview/lydvw.h"

class QImage;
class QPdfDocument;
class QPrinter;
class QTextDocument;

namespace docview {

// What a view shows, as the printer reads it; all null when nothing is open.
struct PrintSource {
    QPdfDocument* pdf = nullptr;
    const std::vector<QImage>* images = nullptr;
    const QTextDocument* text = nullptr;
    QString selection;  // the selected text; empty without a selection
};

// The view's side of a print: its document, its options as the control set them, its notifications.
class PrintHost {
  public:
    virtual ~PrintHost() = default;
    virtual PrintSource Source() = 0;
    virtual std::map<uint32_t, std::string>& Options() = 0;
    virtual int64_t Notify(uint32_t notification, uint64_t lparam) = 0;
    virtual QWidget* DialogParent() = 0;
};

// One per view: the printer the page-setup dialog set up, and the guard against a second print while one
// runs (the progress dialog lets events through).
class EnginePrinter {
  public:
    EnginePrinter();
    ~EnginePrinter();
    EnginePrinter(const EnginePrinter&) = delete;
    EnginePrinter& operator=(const EnginePrinter&) = delete;

    int64_t Print(PrintHost& host, const LydvwPrint& record);
    int64_t PrintWithDialog(PrintHost& host);
    int64_t PageSetup(PrintHost& host);
    int64_t PrintOptionsDialog(PrintHost& host);

  private:
    QPrinter& SetupPrinter();

    std::unique_ptr<QPrinter> m_setup;
    bool m_setUp = false;  // the user chose a page layout
    bool m_busy = false;
};

}  // namespace docview
