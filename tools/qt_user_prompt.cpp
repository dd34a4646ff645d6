// The process prompt as Qt message boxes.
#include "tools/qt_user_prompt.h"

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>
#include <cstdio>
#include <future>
#include <memory>

#include "suite/qt/qt_text.h"

namespace tools {

namespace {

using platform::PromptButtons;
using platform::PromptIcon;
using platform::PromptResult;

QMessageBox::Icon ToIcon(PromptIcon icon) {
    switch (icon) {
        case PromptIcon::None:
            return QMessageBox::NoIcon;
        case PromptIcon::Stop:
            return QMessageBox::Critical;
        case PromptIcon::Exclamation:
            return QMessageBox::Warning;
        case PromptIcon::Information:
            return QMessageBox::Information;
        case PromptIcon::Question:
            return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

// The buttons in their Windows order; the first is the default.
QList<QMessageBox::StandardButton> ToButtons(PromptButtons buttons) {
    switch (buttons) {
        case PromptButtons::Ok:
            return {QMessageBox::Ok};
        case PromptButtons::OkCancel:
            return {QMessageBox::Ok, QMessageBox::Cancel};
        case PromptButtons::YesNo:
            return {QMessageBox::Yes, QMessageBox::No};
        case PromptButtons::YesNoCancel:
            return {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel};
        case PromptButtons::RetryCancel:
            return {QMessageBox::Retry, QMessageBox::Cancel};
        case PromptButtons::AbortRetryIgnore:
            return {QMessageBox::Abort, QMessageBox::Retry, QMessageBox::Ignore};
    }
    return {QMessageBox::Ok};
}

PromptResult ToResult(QMessageBox::StandardButton button, PromptButtons buttons) {
    switch (button) {
        case QMessageBox::Ok:
            return PromptResult::Ok;
        case QMessageBox::Cancel:
            return PromptResult::Cancel;
        case QMessageBox::Abort:
            return PromptResult::Abort;
        case QMessageBox::Retry:
            return PromptResult::Retry;
        case QMessageBox::Ignore:
            return PromptResult::Ignore;
        case QMessageBox::Yes:
            return PromptResult::Yes;
        case QMessageBox::No:
            return PromptResult::No;
        default:
            break;
    }
    // Closed without a button: a plain box answers OK, any other box Cancel.
    return buttons == PromptButtons::Ok ? PromptResult::Ok : PromptResult::Cancel;
}

}  // namespace

QtUserPrompt::QtUserPrompt(QWidget* parent) : m_parent(parent) {}

PromptResult QtUserPrompt::Show(const platform::PromptRequest& request) {
    QCoreApplication* app = QCoreApplication::instance();
    if (qobject_cast<QApplication*>(app) == nullptr) {
        // No widgets to show a box with: say it on stderr and answer as the default button would.
        std::fprintf(stderr, "%s\n", platform::Cp1252ToUtf8(request.text).c_str());
        return ToResult(ToButtons(request.buttons).front(), request.buttons);
    }
    if (QThread::currentThread() == app->thread()) {
        return ShowHere(request);
    }
    // The answer comes back through a promise: if the application goes before the request is served, the
    // dropped request breaks the promise and the caller gets Cancel instead of waiting forever.
    auto answer = std::make_shared<std::promise<PromptResult>>();
    std::future<PromptResult> result = answer->get_future();
    QMetaObject::invokeMethod(
        app, [this, request, answer] { answer->set_value(ShowHere(request)); }, Qt::QueuedConnection);
    try {
        return result.get();
    } catch (const std::future_error&) {
        return PromptResult::Cancel;
    }
}

PromptResult QtUserPrompt::ShowHere(const platform::PromptRequest& request) {
    QWidget* parent = m_parent ? m_parent.data() : QApplication::activeWindow();
    QMessageBox box(parent);
    box.setTextFormat(Qt::PlainText);
    box.setText(suite::FromCp1252(request.text));
    box.setWindowTitle(request.caption.empty() ? QCoreApplication::applicationName()
                                               : suite::FromCp1252(request.caption));
    box.setIcon(ToIcon(request.icon));
    const QList<QMessageBox::StandardButton> buttons = ToButtons(request.buttons);
    for (QMessageBox::StandardButton button : buttons) {
        box.addButton(button);
    }
    box.setDefaultButton(buttons.front());
    if (request.systemModal) {
        box.setWindowModality(Qt::ApplicationModal);
        box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    }
    box.exec();
    return ToResult(box.standardButton(box.clickedButton()), request.buttons);
}

}  // namespace tools
