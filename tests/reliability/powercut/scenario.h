// One recorded run of the program over a shop's folder, and what a power cut at any moment of
// it may leave: the programs run under the shim (see tests/tools/powercut_shim.cpp), their log
// is replayed, and every rebuilt folder is checked against what the programs had reported.
#pragma once

#include "replay.h"

#include <QHash>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <optional>

namespace powercut {

// One program of the run: its arguments (the first is the program), started in the folder.
struct Step {
    QStringList command;
    bool setUp = false; // moves files into place without syncing: no cut is checked inside it
};

class Scenario {
public:
    // Makes the folder (an Access ledger, an old export, old backups) and runs the steps.
    explicit Scenario(const std::vector<Step> &steps);

    QString error() const { return m_error; } // empty when every step ran and exited with 0
    const Replayer &replayer() const { return *m_replayer; }
    QString folder() const { return m_folder; }
    int ops() const { return static_cast<int>(m_replayer->ops().size()); }

    // Where cuts are worth checking: around every sync, every change of a name and every
    // acknowledgement, outside the set-up steps.
    std::vector<int> interestingPositions() const;
    bool insideSetUp(int pos) const;

    // Why the folder after this cut is not acceptable; nothing when it is.
    std::optional<QString> check(const Cut &cut);
    // A short description of the moment of a cut: the op before it and the last acknowledgement.
    QString describe(const Cut &cut) const;
    // The first position after the nth (from 0) op of this kind on this path (a suffix of it);
    // -1 when there is none.
    int after(Op op, const QByteArray &pathEnd, int nth = 0, int from = 0) const;
    int markIndex(const QString &contains) const;

private:
    void makeFolder();
    bool run(const Step &step);
    void learnAcknowledgements();
    // "rows:" and the rows' texts, or what is wrong with the ledger file and its journal.
    QString ledgerState(const Folder &f, const QByteArray &name);
    std::optional<QString> checkLedger(const Cut &cut, const Folder &f);
    std::optional<QString> checkBackups(const Cut &cut, const Folder &f);
    std::optional<QString> checkExport(const Cut &cut, const Folder &f);

    QTemporaryDir m_dir;
    QString m_folder, m_log, m_error;
    Folder m_initial;
    std::unique_ptr<Replayer> m_replayer;
    std::vector<std::pair<int, int>> m_setUps; // [start, end) of each set-up step's ops
    std::vector<int> m_marks;                  // indices of the acknowledgements
    std::vector<QString> m_states;             // the ledger at each acknowledgement
    QString m_finalState;
    QHash<QByteArray, QString> m_seen; // ledger states by the bytes they came from
    int m_restoreStart = -1;
    QByteArray m_keptByRestore; // the backup the restore kept the replaced ledger as
    QString m_beforeRestore;
    int m_exportMark = -1;
    QByteArray m_exportFinal;
};

} // namespace powercut
