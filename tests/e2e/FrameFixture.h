// The fixture of the tests that work the frame: MIRAVEL.exe is there, the
// test JPEG with its expected pixels, and a folder for the test's own files.
#pragma once

#include <cstdint>
#include <vector>

#include "E2eTest.h"
#include "Frame.h"

namespace e2e {

class FrameFixture : public E2eTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(FileExists(MiravelExe())) << Narrow(MiravelExe()) << " is missing";
        jpegBytes_ = ReadFileBytes(TestJpegPath());
        auto jpeg = DecodeJpeg(jpegBytes_);
        ASSERT_TRUE(jpeg) << "cannot decode " << Narrow(TestJpegPath());
        jpeg_ = *jpeg;
    }

    // Waits for the program to end by itself.
    static bool Ends(const Process& p) { return p.WaitForExit(kStartTimeoutMs).has_value(); }

    std::vector<std::uint8_t> jpegBytes_;   // the test JPEG's file
    Photo jpeg_;                            // and its pixels
    TempFolder files_;
};

}  // namespace e2e
