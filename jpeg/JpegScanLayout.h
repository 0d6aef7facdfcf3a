// Pictures coded as several scans (progressive frames, and sequential frames
// whose components come in separate scans) are decoded into a coefficient
// store that holds every block of the picture; each scan adds to it, and the
// picture is transformed once the scans are done. This header describes the
// store and one scan over it, and walks a scan's blocks in coding order; the
// reference form and the fast form both decode through it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace jpegscan {

// The blocks of one frame component: 64 coefficients each in zig-zag order
// (a band of a progressive scan is a run of them), 16 bits, rows of blocksX
// blocks. It holds the component's blocks of every
// whole MCU of the frame (T.81 A.2.4), which a scan of the component alone
// covers in part (A.2.2).
struct CoefficientPlane {
    int16_t* blocks = nullptr;
    int32_t blocksX = 0, blocksY = 0;

    int16_t* Block(int32_t row, int32_t column) const
    {
        return blocks + (static_cast<std::ptrdiff_t>(row) * blocksX + column) * 64;
    }
};

// What a scan codes (T.81 G.1.1.1): a sequential scan codes whole blocks;
// progressive scans code the DC coefficient or a band of AC coefficients,
// first at a point transform Al, then one bit at a time.
enum class ScanKind { kSequential, kDcFirst, kDcRefine, kAcFirst, kAcRefine };

constexpr int32_t kMaxScanComponents = 3;  // the scan header table's size

// One scan over the store.
struct ScanLayout {
    ScanKind kind = ScanKind::kSequential;
    int32_t count = 0;                                // components in the scan
    int32_t frameComponent[kMaxScanComponents] = {};  // frame index of each
    CoefficientPlane plane[kMaxScanComponents];       // the store of each
    int32_t h[kMaxScanComponents] = {};               // blocks of each in one MCU:
    int32_t v[kMaxScanComponents] = {};               //   1 x 1 in a scan of one component
    int32_t mcusX = 0, mcusY = 0;                     // MCUs of the scan
    int32_t ss = 0, se = 63, ah = 0, al = 0;          // band and point transform
    int32_t restartInterval = 0;                      // MCUs, 0 = none
};

// Calls block(i, coefficients) for every block of the scan in coding order:
// MCU by MCU in raster order; within an MCU each scan component i in turn,
// its v rows of h blocks. After every restartInterval MCUs, except after the
// scan's last MCU (what follows the scan is read by the marker loop that
// finds the next scan), calls restart(); after each row of MCUs,
// rowsDone(rows so far).
template <class BlockFunction, class RestartFunction, class RowsFunction>
void WalkScan(const ScanLayout& scan, BlockFunction&& block, RestartFunction&& restart, RowsFunction&& rowsDone)
{
    int32_t sinceRestart = 0;
    const int64_t mcus = int64_t{scan.mcusX} * scan.mcusY;
    int64_t mcu = 0;
    for (int32_t my = 0; my < scan.mcusY; ++my) {
        for (int32_t mx = 0; mx < scan.mcusX; ++mx) {
            for (int32_t i = 0; i < scan.count; ++i) {
                const CoefficientPlane& plane = scan.plane[i];
                for (int32_t by = 0; by < scan.v[i]; ++by) {
                    int16_t* at = plane.Block(my * scan.v[i] + by, mx * scan.h[i]);
                    for (int32_t bx = 0; bx < scan.h[i]; ++bx, at += 64) block(i, at);
                }
            }
            ++mcu;
            if (scan.restartInterval != 0 && ++sinceRestart == scan.restartInterval && mcu != mcus) {
                sinceRestart = 0;
                restart();
            }
        }
        rowsDone(my + 1);
    }
}

}  // namespace jpegscan
