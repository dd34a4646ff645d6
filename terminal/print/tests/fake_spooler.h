// A spooler and dialogs that record what the print job does with them, with failures to order.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "terminal/print/remote_print_job.h"

namespace terminal::testing {

// File contents for print jobs: every byte value, NULs included.
inline std::string PatternBytes(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 7 + 3) & 0xFF);
    }
    return bytes;
}

enum class FailAt { Nothing, Start, Write, Finish };

class FakeSpooler : public PrintSpooler {
  public:
    struct Record {
        std::string printer;
        std::vector<std::size_t> chunks;  // sizes of the writes in order
        std::string bytes;
        bool finished = false;
        bool withdrawn = false;  // dropped before a successful Finish
    };

    std::string defaultPrinter = "Front Desk";
    std::vector<std::string> printers = {"Front Desk", "Back Office"};
    std::map<std::string, FailAt> failures;  // by printer
    int failingWrite = 2;                    // which write fails with FailAt::Write (1-based)
    bool holdFinish = false;                 // Finish waits until it is stopped, as a slow printer would

    std::string DefaultPrinter() override { return defaultPrinter; }

    std::unique_ptr<SpoolDocument> Open(std::string_view printer, std::string& why) override {
        std::lock_guard lock(m_mutex);
        m_opened.emplace_back(printer);
        if (std::find(printers.begin(), printers.end(), printer) == printers.end()) {
            why = "no such printer";
            return nullptr;
        }
        const auto failure = failures.find(std::string(printer));
        auto record = std::make_shared<Record>();
        record->printer = printer;
        m_records.push_back(record);
        return std::make_unique<Document>(*this, record,
                                          failure == failures.end() ? FailAt::Nothing : failure->second);
    }

    std::vector<std::string> Opened() const {
        std::lock_guard lock(m_mutex);
        return m_opened;
    }
    std::vector<Record> Records() const {
        std::lock_guard lock(m_mutex);
        std::vector<Record> copy;
        for (const auto& record : m_records) {
            copy.push_back(*record);
        }
        return copy;
    }

  private:
    class Document : public SpoolDocument {
      public:
        Document(FakeSpooler& owner, std::shared_ptr<Record> record, FailAt failAt)
            : m_owner(owner), m_record(std::move(record)), m_failAt(failAt) {}
        ~Document() override {
            std::lock_guard lock(m_owner.m_mutex);
            m_record->withdrawn = !m_record->finished;
        }
        bool Start(std::string_view name, std::string& why) override {
            if (name != kRemoteDocumentName || m_failAt == FailAt::Start) {
                why = "start refused";
                return false;
            }
            return true;
        }
        bool Write(std::span<const char> bytes, std::string& why) override {
            std::lock_guard lock(m_owner.m_mutex);
            if (m_failAt == FailAt::Write &&
                static_cast<int>(m_record->chunks.size()) + 1 == m_owner.failingWrite) {
                why = "write refused";
                return false;
            }
            m_record->chunks.push_back(bytes.size());
            m_record->bytes.append(bytes.data(), bytes.size());
            return true;
        }
        bool Finish(std::stop_token stop, std::string& why) override {
            if (m_owner.holdFinish) {
                std::mutex mutex;
                std::unique_lock lock(mutex);
                std::condition_variable_any().wait(lock, stop, [] { return false; });
            }
            if (m_failAt == FailAt::Finish || stop.stop_requested()) {
                why = "job aborted";
                return false;
            }
            std::lock_guard lock(m_owner.m_mutex);
            m_record->finished = true;
            return true;
        }

      private:
        FakeSpooler& m_owner;
        std::shared_ptr<Record> m_record;
        FailAt m_failAt;
    };

    mutable std::mutex m_mutex;
    std::vector<std::string> m_opened;
    std::vector<std::shared_ptr<Record>> m_records;
};

class FakePrintJobUi : public PrintJobUi {
  public:
    // Answers of the print dialog in turn; nullopt is Cancel. With none left the dialog is cancelled.
    std::deque<std::optional<std::string>> choices;
    DeleteChoice deleteChoice = DeleteChoice::Keep;
    int choosePrinterCalls = 0;
    std::vector<std::string> offers;

    std::optional<std::string> ChoosePrinter() override {
        ++choosePrinterCalls;
        if (choices.empty()) {
            return std::nullopt;
        }
        auto answer = choices.front();
        choices.pop_front();
        return answer;
    }
    DeleteChoice OfferDelete(std::string_view message) override {
        offers.emplace_back(message);
        return deleteChoice;
    }
};

}  // namespace terminal::testing
