// korrin, the practice selector: conversion and the embedded flags are handled before any display is
// opened; otherwise one selector per user and display shows the practice list.

#include <QApplication>
#include <QStringList>
#include <iostream>

#include "selector/cmd_line_info.h"
#include "selector/korrin_dlg.h"
#include "selector/practice_store.h"
#include "selector/single_app.h"
#include "suite/qt/display_reach.h"
#include "tools/qt_user_prompt.h"

namespace {

std::vector<std::string> Arguments(int argc, char** argv) {
    return {argv + (argc > 0 ? 1 : 0), argv + argc};
}

std::optional<std::filesystem::path> FileOf(const selector::CCmdLineInfo& info) {
    if (info.fileName.empty())
        return std::nullopt;
    return std::filesystem::path(info.fileName);
}

}  // namespace

int main(int argc, char** argv) {
    selector::CCmdLineInfo early;
    early.Parse(Arguments(argc, argv));
    if (early.Mode() == selector::RunMode::Embedded)
        return 0;
    if (early.Mode() == selector::RunMode::Convert) {
        for (const std::string& flag : early.unknownFlags)
            std::cerr << "korrin: unknown option " << flag << "\n";
        std::string message;
        const int code = selector::ConvertPracticeList(FileOf(early), message);
        (code == 0 ? std::cout : std::cerr) << message << "\n";
        return code;
    }

    if (!suite::qt::CheckDisplay("korrin", argc, argv))
        return 1;
    QApplication app(argc, argv);
    QApplication::setApplicationName("korrin");
    std::vector<std::string> rest;
    const QStringList left = QApplication::arguments();
    for (qsizetype i = 1; i < left.size(); ++i)
        rest.push_back(left[i].toStdString());
    selector::CCmdLineInfo info;
    info.Parse(rest);
    for (const std::string& flag : info.unknownFlags)
        std::cerr << "korrin: unknown option " << flag << "\n";

    selector::CSingleApp guard;
    if (!guard.IsFirstInstance())
        return 0;

    tools::QtUserPrompt prompt;
    platform::ScopedDefaultPrompt scopedPrompt(prompt);
    selector::ReapingSpawner spawner;
    selector::CKorrinDlg dialog(FileOf(info), info.noadmin != 0, spawner);
    guard.SetOnActivate([&dialog] { selector::BringForward(&dialog); });
    dialog.exec();
    return 0;
}
