// Message boxes for the whole process: the core's prompts shown as Qt message boxes with their literal
// texts, captions, icons and buttons, answering as the Windows message box does.
#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/user_prompt.h"

namespace tools {

// Needs a QApplication. On the user-interface thread the box is shown at once. From another thread the
// request is handed to the user-interface thread and the caller waits for the answer, so a thread that
// the user-interface thread may join (a login worker) must not come here: it installs a
// platform::ScopedThreadPrompt that keeps its messages instead, and they are shown once it has ended.
class QtUserPrompt : public platform::UserPrompt {
  public:
    // Boxes open over `parent` when it is given and still there, else over the active window.
    explicit QtUserPrompt(QWidget* parent = nullptr);

    platform::PromptResult Show(const platform::PromptRequest& request) override;

  private:
    platform::PromptResult ShowHere(const platform::PromptRequest& request);

    QPointer<QWidget> m_parent;
};

}  // namespace tools
