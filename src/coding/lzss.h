// The LZSS codec of the member streams: the stream's layout and bounds
// (lzss_stream.h), its decoder (lzss_decoder.h) and the store encoder
// (lzss_store.h). The compressor is in lzss_compress.h.
#pragma once

#include "coding/lzss_decoder.h"
#include "coding/lzss_store.h"
#include "coding/lzss_stream.h"
