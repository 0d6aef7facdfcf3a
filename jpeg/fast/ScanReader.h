// What every kind of scan decoder of the fast form reads with: the buffered
// bit reader, Huffman symbols by lookup with the reference's errors, the
// lookups of the scan's components, and the restart marker search between
// intervals. Its reads leave the reader exactly where the reference's
// byte-by-byte reads leave the decoder's own reader, also when they fail.
#pragma once

#include <cstdint>

#include "BitReader.h"
#include "HuffmanLookup.h"
#include "JpegScanLayout.h"
#include "JpegStream.h"

namespace jpegfast {

// Reads the next marker between restart intervals with the decoder's own
// byte-level search, from and back into *state; returns its code.
using SearchMarkerFunction = int32_t (*)(void* context, StreamState* state);

class ScanReader {
public:
    ScanReader(const StreamState& start, SearchMarkerFunction search, void* context)
        : mSearch(search), mContext(context)
    {
        bits.Start(start);
    }

    // One Huffman symbol, as the reference's bit-by-bit search gives it:
    // "DecodeHuffman:Error Marker" when a marker comes before the code is
    // complete, EBufferError "GetBits" at the end of the data, and
    // "Decode1HuffmanCode:length over" when no entry matches.
    int32_t DecodeSymbol(const HuffmanLookup& table)
    {
        bits.Fill();
        int length;
        const int32_t symbol = table.Decode(bits.Peek16(), &length);
        if (length > bits.Available()) {
            // The bit-by-bit search runs into the marker (and returns its
            // negated code) or into the end of the data.
            bits.Exhausted();
            throw EDataFormatError{bits.Position(), "DecodeHuffman:Error Marker"};
        }
        if (symbol == HuffmanLookup::kNoMatch) {
            bits.Skip(length);  // the search read them all before giving up
            throw EDataFormatError{bits.Position(), "Decode1HuffmanCode:length over"};
        }
        bits.Skip(length);
        return symbol;
    }

    // count bits (1 to 16) of a progressive scan, where a marker met inside
    // them ends the decode at once.
    int32_t ReceiveBits(int count)
    {
        const int32_t value = bits.GetBits(count);
        if (value < 0) throw EDataFormatError{bits.Position(), "DecodeHuffman:Error Marker"};
        return value;
    }

    // The marker search at the end of a restart interval; true when the
    // marker is RST0 to RST7 (the decoder's predictors then start afresh).
    bool Restart()
    {
        StreamState state = bits.State();
        // If the search fails, the decoder's reader holds the position.
        mInSearch = true;
        const int32_t marker = mSearch(mContext, &state);
        mInSearch = false;
        bits.Start(state);
        return marker >= 0xD0 && marker <= 0xD7;
    }

    StreamState State() const { return bits.State(); }
    bool InMarkerSearch() const { return mInSearch; }

    BitReader bits;

private:
    SearchMarkerFunction mSearch;
    void* mContext;
    bool mInSearch = false;
};

// The lookups of a scan's components; components that use the same table
// share one lookup (less cache).
class ScanLookups {
public:
    // The DC tables when dc is given, the AC tables when ac is given; the AC
    // lookups get the combined symbol-and-magnitude table too when asked.
    void Build(int32_t count, const HuffmanTableView* dc, const HuffmanTableView* ac, bool combined)
    {
        auto same = [](const HuffmanTableView& a, const HuffmanTableView& b) {
            return a.count == b.count && a.sizeT == b.sizeT && a.codeT == b.codeT && a.valueT == b.valueT;
        };
        for (int32_t c = 0; c < count; ++c) {
            mDcOf[c] = mAcOf[c] = nullptr;
            for (int32_t e = 0; e < c; ++e) {
                if (dc && mDcOf[c] == nullptr && same(dc[c], dc[e])) mDcOf[c] = mDcOf[e];
                if (ac && mAcOf[c] == nullptr && same(ac[c], ac[e])) mAcOf[c] = mAcOf[e];
            }
            if (dc && mDcOf[c] == nullptr) {
                mDc[c].Build(dc[c]);
                mDcOf[c] = &mDc[c];
            }
            if (ac && mAcOf[c] == nullptr) {
                mAc[c].Build(ac[c]);
                if (combined) mAc[c].BuildCombined();
                mAcOf[c] = &mAc[c];
            }
        }
    }

    const HuffmanLookup& Dc(int32_t c) const { return *mDcOf[c]; }
    const HuffmanLookup& Ac(int32_t c) const { return *mAcOf[c]; }

private:
    HuffmanLookup mDc[jpegscan::kMaxScanComponents], mAc[jpegscan::kMaxScanComponents];
    const HuffmanLookup* mDcOf[jpegscan::kMaxScanComponents] = {};
    const HuffmanLookup* mAcOf[jpegscan::kMaxScanComponents] = {};
};

}  // namespace jpegfast
