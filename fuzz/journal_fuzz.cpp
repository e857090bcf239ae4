// libFuzzer target over the recovery journal reader. Any input must be read
// or refused without crash, leak or hang. A journal that is read must
// recover consistently: every change read is applied or counted lost, the
// whole records end where the reader says, and reading just those records
// gives the same changes without damage. A recovered scene must save.
//
// The base a journal names is never read from the path in the input (that
// could name any file): a fixed path that does not exist stands in.

#include "document/teskdoc.h"
#include "framework/core/archive.h"
#include "journal/journalreader.h"

#include <cstdint>
#include <cstdlib>
#include <span>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const char> bytes(reinterpret_cast<const char*>(data), size);
    JournalContents contents;
    if (!ReadJournal(bytes, contents, nullptr))
        return 0;
    require(contents.validLength <= size && contents.startEnd <= contents.validLength);
    require(contents.damage.isEmpty() == (contents.validLength == size));

    JournalContents whole;
    require(ReadJournal(bytes.first(static_cast<std::size_t>(contents.validLength)), whole, nullptr));
    require(whole.damage.isEmpty() && whole.changes.size() == contents.changes.size());

    RecoveredScene scene = RecoverScene(contents, QStringLiteral("/nonexistent/tesk-fuzz-base.qbx"));
    require(scene.applied + scene.lost == contents.changes.size());
    require(scene.recovered || scene.objects.empty());
    require(!contents.base.hasFile || scene.base == JournalBase::Missing);
    if (scene.recovered) {
        require(scene.validLength <= contents.validLength);
        CTeskDoc doc;
        doc.ReplaceObjects(std::move(scene.objects));
        fw::Archive ar = fw::Archive::forStoring();
        doc.Serialize(ar);
        require(!ar.bytes().empty());
    }
    return 0;
}
