#include "i18n/TranslationReader.h"

#include "i18n/Language.h"

#include <QRecursiveMutex>

#include <memory>
#include <mutex>

namespace zadari {

namespace {

// Recursive: a widget that reacts to a changed text may translate a window of its own while
// the outer translation still holds the lock.
struct TTranslationState {
    QRecursiveMutex lock;
    std::shared_ptr<const TLangFile> reader;
};

TTranslationState& State() {
    static TTranslationState state;
    return state;
}

} // namespace

void WithTranslationReader(const std::function<void(const TLangFile&)>& use) {
    TTranslationState& state = State();
    std::lock_guard<QRecursiveMutex> lock(state.lock);
    std::shared_ptr<const TLangFile> reader = state.reader;
    if (!reader) {
        reader = std::make_shared<const TLangFile>(
            TLangFile::Open(LanguageFilePath(), LanguageEncoding(CurrentLanguage())));
        if (reader->Loaded())
            state.reader = reader;
    }
    use(*reader);
}

void DropTranslationReader() {
    TTranslationState& state = State();
    std::lock_guard<QRecursiveMutex> lock(state.lock);
    state.reader.reset();
}

} // namespace zadari
