// A document the host serves itself, read through its redirect record's entries as a QIODevice: random
// access when the host can seek and tell, else read once to its end into memory.
#pragma once

#include <QByteArray>
#include <QIODevice>

#include "docview/lydvw.h"

namespace docview {

class RedirectDevice final : public QIODevice {
  public:
    // Closes the record when it goes (once), whether or not it was opened.
    explicit RedirectDevice(LydvwRedirect* record, QObject* parent = nullptr);
    ~RedirectDevice() override;

    // Opens read-only and learns the size: a seek to the end and a tell, or, when the host cannot, all of
    // the document read into memory. False when nothing can be read.
    bool open(OpenMode mode) override;
    bool isSequential() const override { return false; }
    qint64 size() const override { return m_size; }
    bool seek(qint64 pos) override;

    // The record's get-info text for `id` (3 or 6), empty when the host has none.
    QByteArray InfoText(uint32_t id) const;

  protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

  private:
    bool HostSeek(int32_t from, qint64 offset);
    bool HostTell(qint64& offset);
    // One read of at most `size` bytes; -1 on failure.
    qint64 HostRead(char* data, qint64 size);
    void CloseRecord();

    LydvwRedirect* m_record;
    qint64 m_size = 0;
    qint64 m_hostPos = 0;
    // Set when the host cannot seek or tell: the whole document.
    bool m_inMemory = false;
    QByteArray m_memory;
};

}  // namespace docview
