// The edit box never edits by itself: every key, character and click goes to the model, and the box then
// shows what the model holds. Clicks and drags that move the caret are the one thing read back from the box.
#include "terminal/widget/field_edit.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QInputMethodEvent>
#include <QMimeData>
#include <QMouseEvent>

#include "platform/codepage.h"
#include "terminal/widget/qt_screen_painter.h"

namespace terminal {
namespace {

bool IsPrintable(const std::optional<uint8_t>& ch) {
    return ch && *ch >= 0x20 && *ch != 0x7F;
}

}  // namespace

CFieldEdit::CFieldEdit(KeyPoster& poster, QWidget* parent) : QLineEdit(parent), m_model(*this, poster) {
    setFrame(false);
    setDragEnabled(false);
    // Dropped text would bypass the field's rules.
    setAcceptDrops(false);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    QPalette colours = palette();
    colours.setColor(QPalette::Base, QColor(kBackground));
    colours.setColor(QPalette::Text, Qt::black);
    setPalette(colours);
    setAutoFillBackground(true);
    setGeometry(CInkeyCtrl::kHiddenRect.x, CInkeyCtrl::kHiddenRect.y, CInkeyCtrl::kHiddenRect.width,
                CInkeyCtrl::kHiddenRect.height);
    hide();
    connect(this, &QLineEdit::cursorPositionChanged, this, [this] { SyncToModel(); });
    connect(this, &QLineEdit::selectionChanged, this, [this] { SyncToModel(); });
}

void CFieldEdit::SyncFromModel() {
    m_syncing = true;
    const QString shown = ScreenText(m_model.DisplayText());
    if (text() != shown) {
        setText(shown);
    }
    const auto start = static_cast<int>(m_model.SelectionStart());
    const auto end = static_cast<int>(m_model.SelectionEnd());
    const auto caret = static_cast<int>(m_model.Caret());
    if (start == end) {
        deselect();
        setCursorPosition(caret);
    } else if (caret == end) {
        setSelection(start, end - start);
    } else {
        setSelection(end, start - end);
    }
    m_syncing = false;
}

bool CFieldEdit::OpenField(std::string_view description, const CellGeometry& geometry) {
    const bool opened = m_model.OpenField(description, geometry);
    SyncFromModel();
    return opened;
}

void CFieldEdit::CopyToClipboard() {
    const std::string selected = m_model.Copy();
    if (!selected.empty()) {
        QApplication::clipboard()->setText(QString::fromStdString(platform::Cp437ToUtf8(selected)));
    }
}

void CFieldEdit::CutToClipboard() {
    const std::string taken = m_model.Cut();
    if (!taken.empty()) {
        QApplication::clipboard()->setText(QString::fromStdString(platform::Cp437ToUtf8(taken)));
    }
    SyncFromModel();
}

void CFieldEdit::PasteFromClipboard() {
    // Lines end in a bare line feed here; the field takes the carriage return of a line end as Enter.
    QString text = QApplication::clipboard()->text();
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    m_model.Paste(platform::Utf8ToCp437(text.toStdString()));
    SyncFromModel();
}

void CFieldEdit::SyncToModel() {
    if (m_syncing) {
        return;
    }
    const auto caret = static_cast<std::size_t>(cursorPosition());
    std::size_t anchor = caret;
    if (hasSelectedText()) {
        const auto start = static_cast<std::size_t>(selectionStart());
        const auto end = static_cast<std::size_t>(selectionEnd());
        anchor = caret == start ? end : start;
    }
    m_model.SetSelection(anchor, caret);
}

bool CFieldEdit::HandleKey(const AdaptedKey& key) {
    const bool printable = IsPrintable(key.character);
    if (key.virtualKey == 0 && !printable) {
        return false;
    }
    const bool wasOpen = m_model.IsOpen();
    const bool used = m_model.KeyDown(key.virtualKey, key.mods, printable);
    if (key.character) {
        // The model drops the character of a key it has already acted on.
        m_model.Char(*key.character);
    }
    // Without a field a key only goes to the host or waits in the type-ahead: the box has nothing new to
    // show, and syncing it would cost every direct key its time after the write.
    if (wasOpen || m_model.IsOpen()) {
        SyncFromModel();
    }
    return used || key.character.has_value();
}

bool CFieldEdit::event(QEvent* e) {
    if (e->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(e);
        if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
            // Tab belongs to the field (it may end it), not to focus navigation.
            keyPressEvent(key);
            return true;
        }
    }
    if (e->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(e);
        const AdaptedKey adapted = m_keys.Read(*key);
        // The box takes what the terminal's tables know and plain typing; other shortcuts (menu mnemonics,
        // Alt+F4) stay the hosting window's.
        const bool typing = IsPrintable(adapted.character) && !adapted.mods.ctrl && !adapted.mods.alt;
        if (typing || KeyAdapter::Claims(adapted, m_model.KeySender().UnixEscKey())) {
            e->accept();
        } else {
            e->ignore();
        }
        return true;
    }
    return QLineEdit::event(e);
}

void CFieldEdit::keyPressEvent(QKeyEvent* event) {
    if (HandleKey(*event)) {
        event->accept();
    } else {
        event->ignore();
    }
}

void CFieldEdit::inputMethodEvent(QInputMethodEvent* event) {
    for (const QChar ch : event->commitString()) {
        if (const std::optional<uint8_t> byte = KeyAdapter::CharacterOf(QString(ch))) {
            m_model.Char(*byte);
        }
    }
    SyncFromModel();
    event->accept();
}

void CFieldEdit::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::MiddleButton) {
        m_model.MiddleClick();
        SyncFromModel();
        event->accept();
        return;
    }
    if (event->button() == Qt::RightButton) {
        event->accept();
        return;
    }
    QLineEdit::mousePressEvent(event);
}

void CFieldEdit::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::MiddleButton) {
        // Not the selection paste of X11: the middle button asked for help on its press.
        event->accept();
        return;
    }
    if (event->button() == Qt::RightButton) {
        const QMimeData* clip = QApplication::clipboard()->mimeData();
        const bool hasText = clip != nullptr && clip->hasText() && !clip->text().isEmpty();
        emit contextMenuRequested(QString::fromLatin1(m_model.ContextMenuFlags(hasText)),
                                  mapToParent(event->position().toPoint()));
        event->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}

void CFieldEdit::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_model.DoubleClick();
        SyncFromModel();
        event->accept();
        return;
    }
    QLineEdit::mouseDoubleClickEvent(event);
}

void CFieldEdit::contextMenuEvent(QContextMenuEvent* event) {
    // The control shows the menu, asked on the right button's release.
    event->accept();
}

void CFieldEdit::Beep() {
    ++m_beeps;
    QApplication::beep();
}

void CFieldEdit::ShowField(bool visible) {
    if (visible) {
        SyncFromModel();
    }
    setVisible(visible);
}

void CFieldEdit::MoveField(const FieldRect& rect) {
    setGeometry(rect.x, rect.y, rect.width, rect.height);
}

void CFieldEdit::FocusField() {
    setFocus(Qt::OtherFocusReason);
}

void CFieldEdit::PostCommand(int32_t commandId) {
    QMetaObject::invokeMethod(
        this, [this, commandId] { emit commandPosted(commandId); }, Qt::QueuedConnection);
}

void CFieldEdit::LogLine(std::string_view text) {
    if (m_logger) {
        m_logger(text);
    }
}

}  // namespace terminal
