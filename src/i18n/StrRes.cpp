#include "i18n/StrRes.h"

#include "i18n/LangFile.h"
#include "i18n/Language.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace zadari {

namespace {

struct TNoCaseLess {
    bool operator()(const std::string& a, const std::string& b) const {
        const std::size_t n = std::min(a.size(), b.size());
        for (std::size_t i = 0; i < n; ++i) {
            const unsigned char ca = Fold(a[i]);
            const unsigned char cb = Fold(b[i]);
            if (ca != cb)
                return ca < cb;
        }
        return a.size() < b.size();
    }
    static unsigned char Fold(char c) {
        return static_cast<unsigned char>((c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c);
    }
};

using TMessageCache = std::map<std::string, QString, TNoCaseLess>;

// The message lock and its cache live until the process ends.
std::mutex& MessageLock() {
    static std::mutex lock;
    return lock;
}

std::unique_ptr<TMessageCache>& Cache() {
    static std::unique_ptr<TMessageCache> cache;
    return cache;
}

std::atomic<TMessagePresenter*> g_presenter{nullptr};

} // namespace

QString GetStrRes(std::string_view key) {
    {
        std::lock_guard<std::mutex> lock(MessageLock());
        if (!Cache())
            Cache() = std::make_unique<TMessageCache>();
        const auto it = Cache()->find(std::string(key));
        if (it != Cache()->end() && !it->second.isEmpty())
            return it->second;
    }

    // The file is read outside the lock, by a reader of this call's own.
    QString result;
    if (!key.empty()) {
        const TLangFile reader =
            TLangFile::Open(LanguageFilePath(), LanguageEncoding(CurrentLanguage()));
        result = ReadLangValue(reader, "StrRes", key, QString());
    }

    std::lock_guard<std::mutex> lock(MessageLock());
    if (result.isEmpty())
        Cache()->erase(std::string(key)); // a missing message is looked up again next time
    else
        (*Cache())[std::string(key)] = result;
    return result;
}

void ClearStrResCache() {
    std::lock_guard<std::mutex> lock(MessageLock());
    if (Cache())
        Cache()->clear();
}

TMessagePresenter* SetMessagePresenter(TMessagePresenter* presenter) {
    return g_presenter.exchange(presenter);
}

TMessagePresenter* MessagePresenter() {
    return g_presenter.load();
}

int StrResMessageBox(std::string_view textKey, std::string_view captionKey, int style) {
    const QString caption = GetStrRes(captionKey);
    const QString text = GetStrRes(textKey);
    TMessagePresenter* presenter = MessagePresenter();
    if (presenter == nullptr)
        return MsgResult::kNone;
    return presenter->ShowMessage(caption, text, style);
}

} // namespace zadari
