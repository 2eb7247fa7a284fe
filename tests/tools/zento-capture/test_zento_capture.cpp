// zento-capture against the simulated board on a pseudo-terminal: the recording holds what the
// board sent (a replayed capture, byte for byte) and the command sent, standard output is the
// CSV file, the health report names the faults in the board's stream; SIGTERM in the middle
// ends it with the files whole and the lock released; bad options, a port that cannot be
// opened and a recording that exists.
#include "../../recording/recording_test_util.h"
#include "../zento-board/board_process.h"

#include "health/health_monitor.h"
#include "platform/serial/device_lock.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace board_test;
using rec_test::Bytes;
namespace fs = std::filesystem;

namespace {

std::string capture_path() {
    return bin_dir() + "/zento-capture";
}

// The bytes of a recording from the board, and each batch the program sent.
std::pair<Bytes, std::vector<Bytes>> records_of(const fs::path& pcap) {
    std::pair<Bytes, std::vector<Bytes>> r;
    for (const rec_test::ReadBatch& b : rec_test::read_all(read_bytes(pcap)).batches)
        if (b.direction == zento::Direction::received)
            r.first.insert(r.first.end(), b.bytes.begin(), b.bytes.end());
        else
            r.second.push_back(b.bytes);
    return r;
}

Bytes command(std::uint8_t type) {
    const auto f = zento::command_frame(type);
    return {f.begin(), f.end()};
}

// QSerialPort's lock files of the device.
int lock_files(const std::string& device) {
    int n = 0;
    for (const std::string d : {"/var/lock", "/run/lock", "/tmp", "/var/tmp"})
        n += exists(d + "/" + zento::lock_file_name(device));
    return n;
}

} // namespace

TEST(ZentoCapture, RecordsWhatTheBoardSentWithTheCommandAndNamesItsFaults) {
    TempDir tmp;
    const std::string cap = tmp / "cap.bin", pcap = tmp / "rec/run.pcap";
    ASSERT_EQ(
        run({board_path(), "--out", cap, "--seconds", "30", "--seed", "9", "--faults", "0.3"}), 0);
    Child board({board_path(), "--replay", cap, "--link", tmp / "board"});
    const auto device = board.first_line();
    ASSERT_TRUE(device) << board.stderr_text();
    std::string out, err, decoded;
    ASSERT_EQ(run({capture_path(), "--port", tmp / "board", "--seconds", "4", "--out", pcap,
                   "--csv", "--health", tmp / "h.json", "--command", "height-zero"},
                  &out, &err),
              0)
        << err;
    EXPECT_EQ(lock_files(*device), 0);
    EXPECT_NE(err.find("zento-capture: 00:00:01  attitude "), std::string::npos) << err;

    // A stretch of the capture byte for byte (the board drops what nobody read before the port
    // was opened), the command, and the same CSV on standard output, in the file and from the pcap.
    const auto [received, sent] = records_of(pcap);
    const Bytes whole = read_bytes(cap);
    EXPECT_GT(received.size(), 2000u);
    EXPECT_NE(std::search(whole.begin(), whole.end(), received.begin(), received.end()),
              whole.end());
    EXPECT_EQ(sent, std::vector<Bytes>{command(zento::kTypeHeightZero)});
    EXPECT_TRUE(board.stderr_shows("command E2"));
    run({bin_dir() + "/zento-decode", "--csv", pcap}, &decoded);
    EXPECT_EQ(out, zento_test::read_text(tmp / "rec/run.csv"));
    EXPECT_EQ(out, decoded);

    // Every figure with its name, value, unit and state; the checksum errors bad.
    QJsonParseError e;
    const QJsonDocument doc = QJsonDocument::fromJson(
        QByteArray::fromStdString(zento_test::read_text(tmp / "h.json")), &e);
    ASSERT_EQ(e.error, QJsonParseError::NoError) << e.errorString().toStdString();
    const QJsonArray figures = doc[QStringLiteral("figures")].toArray();
    ASSERT_EQ(figures.size(), zento::kFigureCount);
    QJsonObject checksum;
    for (const auto f : figures) {
        const QJsonObject o = f.toObject();
        EXPECT_TRUE(o[QStringLiteral("name")].isString() && o[QStringLiteral("unit")].isString() &&
                    o[QStringLiteral("state")].isString() &&
                    (o[QStringLiteral("value")].isDouble() || o[QStringLiteral("value")].isNull()));
        if (o[QStringLiteral("name")] == QStringLiteral("Checksum errors")) checksum = o;
    }
    EXPECT_EQ(checksum[QStringLiteral("state")], QStringLiteral("bad"));
    EXPECT_EQ(checksum[QStringLiteral("unit")], QStringLiteral("% of frames"));
    EXPECT_GT(checksum[QStringLiteral("value")].toDouble(), 0.5);
    EXPECT_TRUE(
        doc[QStringLiteral("summary")].toString().contains(QStringLiteral("Checksum errors")));
}

// From a program folder of its own: "--port 1" is its ports/com1, the recording goes to the
// folder its Zento.ini names. The gyroscope bias goes once the still board has been seen still.
TEST(ZentoCapture, SigtermInTheMiddleEndsItWithTheFilesWholeAndTheLockReleased) {
    TempDir tmp;
    const fs::path bin = tmp.path() / "bin", rec = tmp.path() / "rec";
    fs::create_directories(bin / "ports");
    fs::copy_file(capture_path(), bin / "zento-capture");
    write_file(bin / "Zento.ini", "[Record]\nFolder=" + rec.string() + "\n");
    Child board({board_path(), "--still", "--seed", "4", "--link", (bin / "ports/com1").string()});
    const auto device = board.first_line();
    ASSERT_TRUE(device) << board.stderr_text();
    Child c({(bin / "zento-capture").string(), "--port", "1", "--command", "gyro-bias"});
    ASSERT_TRUE(c.stderr_shows("Sent: collect gyroscope bias")) << c.stderr_text();
    ASSERT_TRUE(c.stderr_shows("recorded  health: ")) << "a status line after it";
    EXPECT_GT(lock_files(*device), 0);
    c.signal(SIGTERM);
    EXPECT_EQ(c.wait(30000), 0) << c.stderr_text();
    EXPECT_NE(c.stderr_text().find("zento-capture: SIGTERM: stopping"), std::string::npos);
    EXPECT_EQ(lock_files(*device), 0);
    EXPECT_TRUE(board.stderr_shows("command E0"));

    std::vector<fs::path> files;
    for (const auto& f : fs::directory_iterator(rec))
        files.push_back(f.path());
    std::sort(files.begin(), files.end());
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].extension(), ".csv");
    std::string decoded;
    EXPECT_EQ(run({bin_dir() + "/zento-decode", "--csv", files[1].string()}, &decoded), 0);
    EXPECT_EQ(decoded, zento_test::read_text(files[0]));
    EXPECT_GT(std::count(decoded.begin(), decoded.end(), '\n'), 40);
    EXPECT_EQ(records_of(files[1]).second, std::vector<Bytes>{command(zento::kTypeGyroBias)});
}

TEST(ZentoCapture, BadOptionsExitTwoAPortNotThereOneAndNothingIsOverwritten) {
    TempDir tmp;
    for (const std::vector<std::string>& args : {std::vector<std::string>{},
                                                 {"--port", "1", "--bogus"},
                                                 {"--port", "1", "--seconds", "-1"}}) {
        std::vector<std::string> argv{capture_path()};
        argv.insert(argv.end(), args.begin(), args.end());
        std::string err;
        EXPECT_EQ(run(argv, nullptr, &err), 2) << err;
        EXPECT_NE(err.find("try 'zento-capture --help'"), std::string::npos) << err;
    }
    std::string err;
    EXPECT_EQ(
        run({capture_path(), "--port", tmp / "nowhere", "--out", tmp / "a.pcap"}, nullptr, &err),
        1);
    EXPECT_EQ(err,
              "zento-capture: cannot open " + (tmp / "nowhere") + ": No such file or directory\n");
    EXPECT_FALSE(exists(tmp / "a.pcap"));

    Child board({board_path(), "--link", tmp / "board"});
    const auto device = board.first_line();
    ASSERT_TRUE(device) << board.stderr_text();
    tmp.put("kept.csv", "keep me");
    EXPECT_EQ(
        run({capture_path(), "--port", tmp / "board", "--out", tmp / "kept.pcap"}, nullptr, &err),
        1);
    EXPECT_NE(err.find("kept.csv exists (a recording is never overwritten)"), std::string::npos)
        << err;
    EXPECT_EQ(zento_test::read_text(tmp / "kept.csv"), "keep me");
    EXPECT_FALSE(exists(tmp / "kept.pcap"));
    EXPECT_EQ(lock_files(*device), 0);
}
