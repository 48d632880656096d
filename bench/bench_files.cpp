// velmora-files check of a control file of a million lines, as a user runs
// it: the real program, its listing thrown away, best of three runs.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>

namespace {

constexpr int kLines = 1'000'000;

// A day of recording a second apart, one line in a thousand spoilt, and the
// second half dated ahead of the moment of the check.
bool WriteControlFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    QByteArray block;
    for (int i = 0; i < kLines; ++i) {
        if (i % 1000 == 999) {
            block += "#2027-01-01#,\"1?.3V\",\"1.23A\"\r\n";
        } else {
            char line[64];
            const int day = 1 + i / 86400, rest = i % 86400;
            const int size = std::snprintf(
                line, sizeof line, "#2027-01-%02d %02d:%02d:%02d#,\"%02d.%dV\",\"%d.%02dA\"\r\n",
                day, rest / 3600, rest % 3600 / 60, rest % 60, i % 25, i % 10, i % 3, i % 100);
            block.append(line, size);
        }
        if (block.size() > (1 << 20)) {
            file.write(block);
            block.clear();
        }
    }
    return file.write(block) == block.size();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath("million.dat");
    if (!dir.isValid() || !WriteControlFile(path)) return 1;
    qint64 best = -1;
    for (int run = 0; run < 3; ++run) {
        QProcess check;
        check.setStandardOutputFile(QProcess::nullDevice());
        QElapsedTimer clock;
        clock.start();
        check.start(QStringLiteral(VELMORA_BIN_DIR "/velmora-files"),
                    {"check", path, "--model", "2,5A/25V", "--now", "2027-01-06 00:00:00"});
        if (!check.waitForFinished(60'000) || check.exitStatus() != QProcess::NormalExit) return 1;
        const qint64 ms = clock.elapsed();
        if (best < 0 || ms < best) best = ms;
    }
    std::printf("velmora-files check, 1000000 lines: %.2f s\n", best / 1000.0);
    return 0;
}
