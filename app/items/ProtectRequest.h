#pragma once

#include "core/files/PathSafety.h"

#include <QString>
#include <optional>

class QLabel;
class QWidget;
class item1;

// The dialog side of protecting something on the protected-items page: the checks of the
// custom-folder and drag sheets in their fixed order, each refusal a sheet on the request's own
// sheet; the vault unlocked and its room checked; a leftover of the same name in the vault moved
// aside; the reminder; the record of the folder; then the job. Also the move sheet's OK and the
// space offer the job shares.
//
// Every path is normalised first (PathSafety::normalise) and stored so.
class ProtectRequest
{
public:
    struct Refusal
    {
        QString title;
        QString text;
    };
    enum class Form
    {
        Custom,
        Drag
    };
    enum class OfferFrom
    {
        CustomSheet,
        DragSheet,
        JobNew,
        JobMove,
        Scan
    };

    explicit ProtectRequest(item1& page) : m_page(page) {}

    // clickcustomok / clickdragok.
    void submit(Form form);
    // clickok of the move sheet.
    void submitMove();

    // The refusal of a place the request and the job share: what PathSafety refuses (with the
    // settings' places and the other items' data places) and the place of another item; with a
    // vault also a place where no link can be made, another item of the vault with the same last
    // component, and an item or place a running job holds.
    std::optional<Refusal> placeRefusal(const QString& item, const QString& place,
                                        const QString& vaultName) const;
    // A link to anything at all can be made in the place's folder (not on FAT, not read-only).
    static std::optional<QString> linkImpossible(const QString& place);
    // Step 11: an item of that name in the vault. One a protected item's data resolves to refuses,
    // even when empty; any other empty one goes to the Trash; one that can't be moved refuses (the sheet on
    // sheetWindow); anything else is moved aside under a random number that replaces nothing. True when the
    // name is free.
    bool clearLeftover(const QString& destination, QWidget* sheetWindow, QLabel* capacity);
    // The space offer; the request or job stops after it. The resize dialog opens when the user
    // agrees and the vault could be locked (never forced).
    void offerResize(OfferFrom from, QWidget* sheetWindow, QLabel* capacity, const QString& vaultName,
                     quint64 need, quint64 free, quint64 total);
    // The vault's mount point, unlocking it when needed (the capacity label tells meanwhile). Empty
    // when it stays locked; the "Unlock failed" sheet has then been shown on sheetWindow.
    QString ensureMounted(
        const QString& vaultName, QWidget* sheetWindow, QLabel* label, const QString& mountingText,
        const QString& failedText = QStringLiteral("The vault failed to unlock, please try again later"));
    // Free and total bytes of a mounted vault, read off the window's thread.
    bool spaceOf(const QString& mountPoint, quint64* free, quint64* total) const;
    // A size walk off the window's thread.
    quint64 capacityOf(const QString& path) const;

    static QString unsafeText(PathSafety::Verdict verdict, const QString& path);

private:
    void refuse(QWidget* sheetWindow, const QString& title, const QString& text) const;
    void refuse(QWidget* sheetWindow, const Refusal& refusal) const
    {
        refuse(sheetWindow, refusal.title, refusal.text);
    }

    item1& m_page;
};
