#pragma once

#include "journal/journalformat.h"

#include <QString>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

class C3dObject;

// The records of a scene's recovery journal, read without applying them.
// Spans point into the bytes given to ReadJournal, which the caller keeps.
struct JournalContents {
    struct Change {
        journal::Kind kind;
        std::uint32_t position;
        std::span<const char> object; // empty for a removal
        std::uint64_t end;            // offset just past the record
    };

    // What it builds on, as its base record says.
    journal::Base base;
    bool hasSnapshot = false;
    std::span<const char> snapshot;
    std::uint64_t startEnd = 0; // offset just past the base record and snapshot
    std::vector<Change> changes;
    // Offset just past the last whole record.
    std::uint64_t validLength = 0;
    // Why reading stopped before the end of the data; empty when it did not.
    QString damage;
};

// Reads the records of a journal. Stops at the first record that is cut
// short or fails its check, noting it in `damage`. Returns false with the
// reason in `error` when the data is no journal or its base record is damaged.
bool ReadJournal(std::span<const char> data, JournalContents& contents, QString* error);

enum class JournalBase {
    None,      // the journal builds on an empty scene
    Unchanged, // the file holds the bytes the journal builds on
    Changed,   // the file holds other bytes, or cannot be read
    Missing,   // there is no such file
};

// A scene rebuilt from a journal.
struct RecoveredScene {
    // The scene after `applied` changes, when `recovered`.
    std::vector<std::unique_ptr<C3dObject>> objects;
    bool recovered = false;
    JournalBase base = JournalBase::None;
    std::size_t applied = 0;
    // Changes read but not applied: from the first that does not fit the scene.
    std::size_t lost = 0;
    // What cut the recovery short (damage in the journal, a change that does
    // not fit, a base that cannot be used); empty when nothing did.
    QString damage;
    // Offset just past the last record applied: appending after it continues
    // the recovered scene.
    std::uint64_t validLength = 0;
};

// Rebuilds the scene of `contents`: from its snapshot when it holds one,
// from an empty scene when it builds on none, else from the file at
// `basePath`, used only when it holds exactly the bytes the journal names
// (size and hash; not its time, so a copy elsewhere serves too). A base that
// changed or vanished is reported in `base` either way and is never used.
RecoveredScene RecoverScene(const JournalContents& contents, const QString& basePath);

// One paragraph of plain words on what a recovery of the scene `name` met:
// a changed or missing base, damage and lost changes. Empty when the whole
// journal was recovered onto its base.
QString DescribeRecovery(const RecoveredScene& scene, const QString& name);
