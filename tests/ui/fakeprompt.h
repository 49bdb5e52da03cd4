#pragma once

#include <QStringList>
#include <deque>
#include <vector>

#include "ui/prompt.h"
#include "ui/sorvixform.h"

// Answers prompts from a queue and records what was asked.
class FakePrompt : public Prompt {
public:
    FakePrompt() { Prompt::setInstance(this); }
    ~FakePrompt() override { Prompt::setInstance(nullptr); }

    int message(QWidget*, const QString& text, const QString& caption, Kind, Buttons) override
    {
        messages << text;
        captions << caption;
        if (answers.empty()) return Ok;
        const int a = answers.front();
        answers.pop_front();
        return a;
    }
    QString openFileName(QWidget*, const QString& caption, const QString& dir, const QString& filter) override
    {
        dialogs.push_back({caption, dir, filter, QString()});
        return take();
    }
    QString saveFileName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter,
                         const QString& defaultSuffix, const RefuseName& refuse = {}) override
    {
        dialogs.push_back({caption, dir, filter, defaultSuffix});
        const QString name = take();
        // A refused name is shown in the dialog, which the user then cancels.
        if (refuse && !name.isEmpty())
            if (const QString why = refuse(name); !why.isEmpty()) {
                message(parent, why, ProductTitle, Kind::Error, Buttons::Ok);
                return {};
            }
        return name;
    }
    QString newOrOpenFileName(QWidget*, const QString& caption, const QString& dir, const QString& filter) override
    {
        dialogs.push_back({caption, dir, filter, QString(), true});
        return take();
    }
    void beep() override { ++beeps; }
    bool openUrl(const QUrl& url) override
    {
        urls << url.toString();
        return urlsWork;
    }

    // What each file dialog was asked with.
    struct FileDialog {
        QString caption, dir, filter, defaultSuffix;
        bool takesNewName = false;  // the new-or-open dialog
    };
    std::vector<FileDialog> dialogs;

    std::deque<int> answers;
    std::deque<QString> fileNames;
    QStringList messages, captions, urls;
    int beeps = 0;
    bool urlsWork = true;

private:
    QString take()
    {
        if (fileNames.empty()) return {};
        QString f = fileNames.front();
        fileNames.pop_front();
        return f;
    }
};
