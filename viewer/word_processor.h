// What the viewer needs of a word processor to edit and print documents: a probe, an application that
// makes a new document from the system's template, the document's macros, showing it, and the notice that
// its edit has ended. Adapters drive a real word processor; tests use a strict fake.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "platform/automation/dispatch.h"

namespace viewer {

// A failed word-processor call: what it said and who said it (either may be empty).
struct WordError {
    std::string description;
    std::string source;
};

// A document being edited.
class WordDocument {
  public:
    virtual ~WordDocument() = default;
    // Whether the document has a macro of that name.
    virtual bool HasMacro(const std::string& name) = 0;
    // Runs a macro with variant arguments; false with `error` filled when it fails.
    virtual bool RunMacro(const std::string& name, std::span<const platform::automation::Variant> args,
                          WordError& error) = 0;
    // Makes the word processor visible with the document in front.
    virtual bool Show(WordError& error) = 0;
    // Marks it saved and closes it, for an edit that could not start.
    virtual void CloseUnsaved() = 0;
    // `ended` runs once, on the viewer's thread, when the edit is over: the template's notice, or the
    // document's window or the word processor itself going away.
    virtual void OnEnded(std::function<void()> ended) = 0;
};

class WordApplication {
  public:
    virtual ~WordApplication() = default;
    // Where the user's templates are, the fallback when the registry names no folder.
    virtual std::filesystem::path UserTemplatesPath() = 0;
    // A new document from the template (the template's add-in installed first); null with `error`.
    virtual std::unique_ptr<WordDocument> AddFromTemplate(const std::filesystem::path& templatePath,
                                                          WordError& error) = 0;
    // Ends the application this edit started.
    virtual void Quit() = 0;
};

class WordProcessor {
  public:
    virtual ~WordProcessor() = default;
    // Whether documents can be edited; else `why` says what is missing.
    virtual bool Probe(std::string& why) = 0;
    // The application for one edit; null with `why`.
    virtual std::unique_ptr<WordApplication> Start(std::string& why) = 0;
    // Prints a word-processor file on the default printer; false with `why`.
    virtual bool Print(const std::filesystem::path& file, std::string& why) = 0;
};

// Where no word processor can be driven: the probe fails, so editing stays disabled.
class NoWordProcessor : public WordProcessor {
  public:
    bool Probe(std::string& why) override;
    std::unique_ptr<WordApplication> Start(std::string& why) override;
    bool Print(const std::filesystem::path& file, std::string& why) override;
};

}  // namespace viewer
