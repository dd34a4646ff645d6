// A strict fake word processor for the edit tests: records every call in order as text, refuses calls
// that a real one could not take (a closed document, an application after Quit, a macro never asked for),
// and lets the test end an edit as the template or a closed window would.
#pragma once

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "viewer/word_processor.h"

namespace viewer {

class StrictWordProcessor : public WordProcessor {
  public:
    struct Behaviour {
        bool probe = true;
        std::string startError;  // non-empty: Start fails with it
        bool addFails = false;
        WordError addError;
        std::set<std::string> macros{"RegisterSorelIDs", "RegisterSorelConnection"};
        std::string failingMacro;
        WordError macroError;
        bool printFails = false;
    };

    Behaviour behaviour;
    std::vector<std::string> calls;
    std::function<void()> ended;  // what the current document's end notice runs
    int liveDocuments = 0;

    bool Probe(std::string& why) override {
        calls.push_back("probe");
        if (!behaviour.probe) {
            why = "not installed";
        }
        return behaviour.probe;
    }

    std::unique_ptr<WordApplication> Start(std::string& why) override {
        calls.push_back("start");
        if (!behaviour.startError.empty()) {
            why = behaviour.startError;
            return nullptr;
        }
        return std::make_unique<Application>(*this);
    }

    bool Print(const std::filesystem::path& file, std::string& why) override {
        calls.push_back("print " + file.string());
        if (behaviour.printFails) {
            why = "no printer";
        }
        return !behaviour.printFails;
    }

  private:
    class Document : public WordDocument {
      public:
        explicit Document(StrictWordProcessor& owner) : m_owner(owner) { ++m_owner.liveDocuments; }
        ~Document() override {
            --m_owner.liveDocuments;
            m_owner.ended = nullptr;  // a released document sends no notice
        }
        bool HasMacro(const std::string& name) override {
            Use("has " + name);
            m_asked.insert(name);
            return m_owner.behaviour.macros.count(name) > 0;
        }
        bool RunMacro(const std::string& name, std::span<const platform::automation::Variant> args,
                      WordError& error) override {
            std::string call = "macro " + name;
            for (const auto& arg : args) {
                call += arg.Type() == platform::automation::VarType::Bstr ? " [" + arg.AsBstr() + "]"
                                                                          : " " + std::to_string(arg.AsI4());
            }
            Use(call);
            EXPECT_TRUE(m_asked.count(name)) << "macro run without asking for it: " << name;
            if (name == m_owner.behaviour.failingMacro) {
                error = m_owner.behaviour.macroError;
                return false;
            }
            return true;
        }
        bool Show(WordError&) override {
            Use("show");
            return true;
        }
        void CloseUnsaved() override {
            Use("close unsaved");
            m_closed = true;
        }
        void OnEnded(std::function<void()> ended) override { m_owner.ended = std::move(ended); }

      private:
        void Use(const std::string& call) {
            EXPECT_FALSE(m_closed) << call << " on a closed document";
            m_owner.calls.push_back(call);
        }
        StrictWordProcessor& m_owner;
        std::set<std::string> m_asked;
        bool m_closed = false;
    };

    class Application : public WordApplication {
      public:
        explicit Application(StrictWordProcessor& owner) : m_owner(owner) {}
        std::filesystem::path UserTemplatesPath() override {
            Use("templates");
            return "/home/user/Templates";
        }
        std::unique_ptr<WordDocument> AddFromTemplate(const std::filesystem::path& path,
                                                      WordError& error) override {
            Use("add " + path.string());
            if (m_owner.behaviour.addFails) {
                error = m_owner.behaviour.addError;
                return nullptr;
            }
            return std::make_unique<Document>(m_owner);
        }
        void Quit() override {
            Use("quit");
            m_quit = true;
        }

      private:
        void Use(const std::string& call) {
            EXPECT_FALSE(m_quit) << call << " after Quit";
            m_owner.calls.push_back(call);
        }
        StrictWordProcessor& m_owner;
        bool m_quit = false;
    };
};

}  // namespace viewer
