#pragma once
// Platform services for the window tests: every dialog answers from a
// script instead of waiting for a person, and every call is recorded.
#include "window/platform.h"

#include <QStringList>
#include <deque>
#include <vector>

namespace quillet::test {

class ScriptedPlatform : public PlatformServices {
public:
    // Answers, taken in order; an empty queue answers "cancel".
    std::deque<std::optional<QString>> openAnswers;
    std::deque<std::optional<QString>> saveAnswers;
    std::deque<std::optional<QColor>> colorAnswers;
    // Save dialogs that say the chosen file type (exports).
    std::deque<std::optional<SaveChoice>> saveOfTypeAnswers;
    bool clipboardWorks = true;
    bool urlOpens = true;

    // What was asked.
    std::vector<FileDialogRequest> openRequests;
    std::vector<FileDialogRequest> saveRequests;
    std::vector<FileDialogRequest> saveOfTypeRequests;
    std::vector<QColor> colorRequests;
    QStringList messages;
    std::vector<QImage> copiedImages;
    std::vector<QUrl> openedUrls;

    std::optional<QString> openFile(QWidget*, const FileDialogRequest& r) override
    {
        openRequests.push_back(r);
        return take(openAnswers);
    }
    std::optional<QString> saveFile(QWidget*, const FileDialogRequest& r) override
    {
        saveRequests.push_back(r);
        return take(saveAnswers);
    }
    std::optional<SaveChoice> saveFileOfType(QWidget*, const FileDialogRequest& r) override
    {
        saveOfTypeRequests.push_back(r);
        return take(saveOfTypeAnswers);
    }
    std::optional<QColor> chooseColor(QWidget*, const QColor& initial) override
    {
        colorRequests.push_back(initial);
        return take(colorAnswers);
    }
    void message(QWidget*, const QString&, const QString& text) override { messages << text; }
    bool copyImage(const QImage& image) override
    {
        if (!clipboardWorks)
            return false;
        copiedImages.push_back(image);
        return true;
    }
    bool openUrl(const QUrl& url) override
    {
        openedUrls.push_back(url);
        return urlOpens;
    }

private:
    template <typename T>
    static std::optional<T> take(std::deque<std::optional<T>>& q)
    {
        std::optional<T> v;
        if (!q.empty()) {
            v.swap(q.front());
            q.pop_front();
        }
        return v;
    }
};

} // namespace quillet::test
