// The "Link and sensor health" window: it shows the monitor's figures with their states, asks
// the monitor nothing while hidden, and its scale fields write Zento.ini (bad input loses
// nothing and changes nothing).
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>

#include "health/health_window.h"
#include "health_rig.h"
#include "test_folder.h"

using namespace health_test;
using namespace zento;

namespace {

QTableWidgetItem* state_cell(const HealthWindow& w, FigureId id) {
    const QString name =
        QString::fromUtf8(figure_name(id).data(), qsizetype(figure_name(id).size()));
    for (int row = 0; row < w.figureTable->rowCount(); ++row)
        if (w.figureTable->item(row, 0) && w.figureTable->item(row, 0)->text() == name &&
            w.figureTable->columnSpan(row, 0) == 1)
            return w.figureTable->item(row, 3);
    return nullptr;
}

} // namespace

TEST(HealthWindowTest, ShowsStatesAndRefreshesOnlyWhileShown) {
    Rig rig(7, 20);
    rig.run_until(20);
    rig.marked_bias();
    rig.per_burst = 10; // frames in bursts of half a second
    rig.run_until(40);
    int asked = 0;
    zento_test::TempDir tmp;
    HealthWindow w(
        rig.monitor, [&] { return ++asked, rig.now; }, tmp.path() / "Zento.ini");
    EXPECT_FALSE(w.refreshing());
    EXPECT_EQ(asked, 0); // made, never shown: the monitor is not asked

    w.show();
    EXPECT_TRUE(w.refreshing());
    EXPECT_EQ(asked, 1);
    QTableWidgetItem* gaps = state_cell(w, FigureId::frame_gaps);
    QTableWidgetItem* bytes = state_cell(w, FigureId::bytes_rate);
    ASSERT_TRUE(gaps && bytes);
    EXPECT_EQ(gaps->text(), "bad");
    EXPECT_EQ(bytes->text(), "good");
    EXPECT_EQ(w.summaryLabel->text(), "1 figure bad");
    // Each state has its own colour.
    EXPECT_NE(gaps->background().color(), bytes->background().color());
    EXPECT_TRUE(w.connectionLabel->text().startsWith("Connected for 40 s at 115200 baud"));

    // The bursts end: after a window of good gaps the row turns good on the next refresh.
    rig.per_burst = 1;
    rig.run_until(55);
    w.refresh();
    EXPECT_EQ(gaps->text(), "good");
    EXPECT_EQ(gaps->background().color(), bytes->background().color());
    EXPECT_EQ(w.summaryLabel->text(), "All good");

    w.hide();
    EXPECT_FALSE(w.refreshing());
    rig.monitor.disconnected(rig.now);
    w.show();
    EXPECT_TRUE(w.connectionLabel->text().startsWith("Not connected."));
}

// What waits for the user (no "Marked bias" yet, the board not turned enough) is grey "not yet",
// not the doubtful figures' yellow.
TEST(HealthWindowTest, WhatWaitsForTheUserIsNotYetInGrey) {
    Rig rig(7, 20);
    rig.run_until(8);
    HealthWindow w(
        rig.monitor, [&] { return rig.now; }, SettingsFile{"Zento.ini"});
    w.show();
    for (FigureId id : {FigureId::gyro_bias, FigureId::directions}) {
        EXPECT_EQ(state_cell(w, id)->text(), "not yet") << figure_name(id);
        EXPECT_EQ(state_cell(w, id)->background(), state_cell(w, FigureId::dip)->background());
    }
    EXPECT_EQ(w.summaryLabel->text(), "All good");
}

// The health window opens beside the main window: right, else left, narrowed to the room down
// to its least width, else at the screen's edge; never beyond the screen.
TEST(HealthWindowTest, OpensBesideTheMainWindow) {
    const QRect screen(0, 0, 1920, 1080);
    const QSize w(1260, 860);
    EXPECT_EQ(place_beside({0, 20, 1016, 640}, w, 640, screen), QRect(1024, 20, 896, 860));
    EXPECT_EQ(place_beside({900, 300, 1016, 640}, w, 640, screen), QRect(0, 220, 892, 860));
    EXPECT_EQ(place_beside({100, 0, 1016, 640}, w, 640, {0, 0, 1280, 1024}),
              QRect(20, 0, 1260, 860));
}

TEST(HealthWindowTest, ScaleFieldsWriteZentoIniAndRefuseBadInput) {
    Rig rig(7, 20);
    rig.run_until(5);
    zento_test::TempDir tmp;
    const std::filesystem::path ini = tmp.path() / "Zento.ini";
    tmp.put("Zento.ini", "[COM]\nPort=2\n");
    HealthWindow w(
        rig.monitor, [&] { return rig.now; }, ini);
    w.show();
    EXPECT_EQ(w.gyroScaleEdit->text(), "16.4");

    w.gyroScaleEdit->setText(" 32.8 ");
    emit w.gyroScaleEdit->editingFinished();
    EXPECT_EQ(rig.monitor.scales().gyro_counts_per_dps, 32.8);
    EXPECT_EQ(w.gyroScaleEdit->text(), "32.8");
    EXPECT_EQ(zento_test::read_text(ini), "[COM]\nPort=2\n[Health]\nAccelCountsPerG=16384\n"
                                          "GyroCountsPerDps=32.8\nMagCountsPerGauss=1090\n");
    EXPECT_TRUE(w.scaleMessageLabel->text().startsWith("Scales saved in Zento.ini"));

    // Not a number: said so, the typed text stays to be corrected, nothing else changes.
    w.magScaleEdit->setText("1090,5");
    emit w.magScaleEdit->editingFinished();
    EXPECT_EQ(w.magScaleEdit->text(), "1090,5");
    EXPECT_EQ(rig.monitor.scales().mag_counts_per_gauss, 1090.0);
    EXPECT_TRUE(w.scaleMessageLabel->text().startsWith("\"1090,5\" is not a scale"));
    EXPECT_TRUE(w.scaleMessageLabel->text().endsWith("The scale in use stays 1090."));
    EXPECT_NE(zento_test::read_text(ini).find("MagCountsPerGauss=1090\n"), std::string::npos);

    // A settings file that cannot be written: the scale is used, and the reason is shown.
    const std::filesystem::path folder = tmp.path() / "folder";
    std::filesystem::create_directory(folder);
    HealthWindow cannot(
        rig.monitor, [&] { return rig.now; }, folder);
    cannot.accelScaleEdit->setText("8192");
    emit cannot.accelScaleEdit->editingFinished();
    EXPECT_EQ(rig.monitor.scales().accel_counts_per_g, 8192.0);
    EXPECT_TRUE(cannot.scaleMessageLabel->text().startsWith(
        "The scales are in use but could not be saved: cannot"))
        << cannot.scaleMessageLabel->text().toStdString();
}
