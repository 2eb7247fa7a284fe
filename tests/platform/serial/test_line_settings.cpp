#include "platform/serial/line_settings.h"
#include "platform/serial/port_order.h"

#include <gtest/gtest.h>

using namespace zento;

TEST(LineSettings, UsableTextsInCanonicalForm) {
    struct Case {
        const char* in;
        const char* out;
    };
    for (auto [in, out] :
         {Case{"115200,n,8,1", "115200,n,8,1"}, Case{"9600,N,8,1", "9600,n,8,1"},
          Case{" 600 , e , 7 , 2 ", "600,e,7,2"}, Case{"300,o,5,1.5", "300,o,5,1.5"},
          Case{"1200,M,6,1", "1200,m,6,1"}, Case{"2400,s,8,2", "2400,s,8,2"}}) {
        const LineSettingsParse p = parse_line_settings(in);
        ASSERT_TRUE(p.settings) << in << ": " << p.problem;
        EXPECT_EQ(p.settings->text(), out);
    }
    const LineSettings s = *parse_line_settings("19200,e,7,1.5").settings;
    EXPECT_EQ(s.baud, 19200);
    EXPECT_EQ(s.parity, 'e');
    EXPECT_EQ(s.data_bits, 7);
    EXPECT_EQ(s.stop, StopBits::OneAndHalf);
}

TEST(LineSettings, UnusableTextsSayWhy) {
    struct Case {
        const char* in;
        const char* why;
    };
    for (auto [in, why] :
         {Case{"", "form"}, Case{"115200,n,8", "form"}, Case{"115200,n,8,1,1", "form"},
          Case{"0,n,8,1", "baud"}, Case{"-9600,n,8,1", "baud"}, Case{"96.5,n,8,1", "baud"},
          Case{"99999999999,n,8,1", "baud"}, Case{",n,8,1", "baud"}, Case{"9600,x,8,1", "parity"},
          Case{"9600,,8,1", "parity"}, Case{"9600,no,8,1", "parity"}, Case{"9600,n,4,1", "data"},
          Case{"9600,n,9,1", "data"}, Case{"9600,n,08,1", "data"}, Case{"9600,n,8,3", "stop"},
          Case{"9600,n,8,1.0", "stop"}, Case{"9600,n,8,", "stop"}}) {
        const LineSettingsParse p = parse_line_settings(in);
        EXPECT_FALSE(p.settings) << in;
        EXPECT_NE(p.problem.find(why), std::string::npos) << in << ": " << p.problem;
    }
}

TEST(PortNumber, WholeNumbersFrom1To255) {
    EXPECT_EQ(parse_port_number("1"), 1);
    EXPECT_EQ(parse_port_number(" 14 "), 14);
    EXPECT_EQ(parse_port_number("003"), 3);
    EXPECT_EQ(parse_port_number("3.0"), 3);
    EXPECT_EQ(parse_port_number("255"), 255);
    for (const char* bad : {"", "0", "256", "-1", "3.5", "abc", "3a", "+3", "1e2", "99999999999"})
        EXPECT_FALSE(parse_port_number(bad)) << bad;
}

TEST(PortOrder, UsbThenAcmThenTheRestEachInNaturalOrder) {
    const std::vector<std::string> got = order_serial_devices(
        {"/dev/ttyS0", "/dev/ttyUSB10", "/dev/ttyACM1", "/dev/ttyUSB2", "/dev/ttyS10",
         "/dev/ttyAMA0", "/dev/ttyACM0", "/dev/ttyS2", "/dev/ttyUSB0", "/dev/ttyUSB2"});
    const std::vector<std::string> want{"/dev/ttyUSB0", "/dev/ttyUSB2", "/dev/ttyUSB10",
                                        "/dev/ttyACM0", "/dev/ttyACM1", "/dev/ttyAMA0",
                                        "/dev/ttyS0",   "/dev/ttyS2",   "/dev/ttyS10"};
    EXPECT_EQ(got, want);
    EXPECT_EQ(nth_serial_device(got, 1), "/dev/ttyUSB0");
    EXPECT_EQ(nth_serial_device(got, 4), "/dev/ttyACM0");
    EXPECT_FALSE(nth_serial_device(got, 0));
    EXPECT_FALSE(nth_serial_device(got, 10));
    EXPECT_FALSE(nth_serial_device({}, 1));
}

// Numbers compare by value: the order above; here what it does not show.
TEST(PortOrder, NaturalCompare) {
    EXPECT_EQ(natural_compare("ttyS1", "ttyS1"), 0);
    EXPECT_NE(natural_compare("ttyS01", "ttyS1"), 0); // distinct names never compare equal
    EXPECT_LT(natural_compare("ttyS", "ttyS0"), 0);
    EXPECT_LT(natural_compare("a99999999999999999999999", "a100000000000000000000000"), 0);
    EXPECT_EQ(short_device_name("/dev/ttyUSB0"), "ttyUSB0");
    EXPECT_EQ(short_device_name("/dev/pts/3"), "pts/3");
    EXPECT_EQ(short_device_name("/tmp/x"), "/tmp/x");
}
