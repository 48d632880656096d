// velmora-files png of a million-line record file: wall time and the
// largest resident memory of the program.

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

bool WriteRecordFile(const QString& path, int lines) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    const QDateTime start(QDate(2024, 3, 5), QTime(9, 0));
    QByteArray block;
    for (int i = 0; i < lines; ++i) {
        const int v = (i / 7) % 250, c = (i / 3) % 250;
        char line[64];
        std::snprintf(line, sizeof line, "#%s#,\"%02d.%dV\",\"%d.%02dA\"\r\n",
                      start.addSecs(i).toString(u"yyyy-MM-dd hh:mm:ss").toLatin1().constData(),
                      v / 10, v % 10, c / 100, c % 100);
        block += line;
    }
    return file.write(block) == block.size();
}

} // namespace

int main() {
    QTemporaryDir dir;
    const QString record = dir.filePath("record.txt");
    if (!dir.isValid() || !WriteRecordFile(record, 1'000'000)) return 1;
    const QByteArray program = VELMORA_BIN_DIR "/velmora-files";
    const QByteArray input = record.toLocal8Bit();
    const QByteArray output = dir.filePath("record.png").toLocal8Bit();
    QElapsedTimer wall;
    wall.start();
    const pid_t pid = fork();
    if (pid == 0) {
        execl(program.constData(), "velmora-files", "png", input.constData(), "-o",
              output.constData(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const double seconds = double(wall.elapsed()) / 1000;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return 1;
    const double cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    std::printf("velmora-files png of 1000000 lines: %.2f s (%.2f s of processor), %.0f MiB\n",
                seconds, cpu, double(usage.ru_maxrss) / 1024);
    return 0;
}
