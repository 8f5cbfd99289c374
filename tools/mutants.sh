#!/usr/bin/env bash
# Deliberate faults in src/, and whether the test suite catches each one.
# Every fault is one literal substitution in one file of src/ (the text to
# find must occur there exactly once). The tracked and new files of this
# tree are copied to a scratch tree once; each fault is then applied there,
# the plain build is rebuilt (incrementally, through ccache when it is
# installed) and ctest runs the unit, end-to-end and fuzz replay tests until
# the first failure. A failing or timed-out test means the fault is caught;
# a clean run means it is missed. The file is restored after each fault.
#   tools/mutants.sh [--list] [FAULT...]
# FAULT is a number or a name, or a shell pattern of names ('lzss-*').
# QEV_MUTANTS_DIR: the scratch directory (kept between runs, so that later
# runs rebuild little); QEV_MUTANTS_TIMEOUT: seconds per test (default 120).
# Exits non-zero when a fault is missed, does not apply or does not build.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
scratch="${QEV_MUTANTS_DIR:-${TMPDIR:-/tmp}/qev-mutants/$(printf '%s' "${root}" | tr / _)}"
test_timeout="${QEV_MUTANTS_TIMEOUT:-120}"
jobs=2

names=() files=() finds=() replaces=() whats=()
fault() { names+=("$1") files+=("$2") finds+=("$3") replaces+=("$4") whats+=("$5"); }

# --- The codec -------------------------------------------------------------
fault lzss-literal-bits src/coding/lzss_tokens.h \
  $'DecodePosition& at) {\n  if (bits >> 63) {\n    base[at.n++] = static_cast<std::uint8_t>(bits >> kLiteralShift);' \
  $'DecodePosition& at) {\n  if (bits >> 63) {\n    base[at.n++] = static_cast<std::uint8_t>(bits >> (kLiteralShift - 1));' \
  'the decoder takes a literal one bit late'
fault lzss-position-field src/coding/lzss_tokens.h \
  'static_cast<std::uint32_t>(bits >> kPositionShift) & kWindowMask' \
  'static_cast<std::uint32_t>(bits >> (kPositionShift + 1)) & kWindowMask' \
  'a reference position is read one bit off'
fault lzss-length-field src/coding/lzss_tokens.h \
  'static_cast<std::size_t>(bits >> kLengthShift & kLengthMask) + kMinMatch' \
  'static_cast<std::size_t>(bits >> kLengthShift & kLengthMask) + kMinMatch - 1' \
  'a reference copies one byte too few'
fault lzss-write-position src/coding/lzss_tokens.h \
  'return ((n - p) & kWindowMask) + 1;' \
  'return ((n + 1 - p) & kWindowMask);' \
  'a reference to the write position reads nothing instead of a whole window back'
fault lzss-initial-zeros src/coding/lzss_tokens.h \
  'base[j] = j >= distance ? base[j - distance] : 0;' \
  'base[j] = j > distance ? base[j - distance] : 0;' \
  'the first output byte reads as one of the initial zeros'
fault lzss-short-distance src/coding/lzss_tokens.h \
  'kSecondHalfStep[8] = {0, 1, 2, 1, 0, 4, 4, 4};' \
  'kSecondHalfStep[8] = {0, 1, 2, 1, 0, 4, 4, 3};' \
  'a copy from 7 bytes back lays out its pattern wrongly'
fault lzss-long-copy src/coding/lzss_tokens.h \
  'std::memcpy(out + 16, src + 8, 8);' \
  'std::memcpy(out + 16, src + 16, 8);' \
  'the last 8-byte chunk of a long copy comes from the wrong place'
fault lzss-warm-window src/coding/lzss_decoder.cpp \
  'if (local.n >= kWindowSize) {' \
  'if (local.n >= 64) {' \
  'the initial zeros are taken as output before a whole window is out'
fault lzss-checksum-blocks src/coding/lzss_decoder.cpp \
  'checksum_ += SumBytes(in + (summed_ - inStart), in + (end - inStart));' \
  'checksum_ += SumBytes(in + (summed_ - inStart) + (end - summed_ > 1), in + (end - inStart));' \
  'the decoder checksum skips the first byte of every block it sums'
fault lzss-checksum-last-byte src/coding/lzss_decoder.cpp \
  'ended_ ? (bit_ + 7) / 8 : bit_ / 8;' \
  'bit_ / 8;' \
  'the decoder checksum leaves out the byte holding the end marker'"'"'s last bits'
fault lzss-store-pair src/coding/literal_groups.h \
  'out[17] = in[15];' \
  'out[17] = in[14];' \
  'the encoder writes a wrong byte in every second group of eight'
fault lzss-store-tail src/coding/lzss_store.cpp \
  'put(0x100u | held_[i], lzss::kLiteralBits);' \
  'put(held_[i], lzss::kLiteralBits);' \
  'the last literals are written without their flags'
fault lzss-store-length src/coding/lzss_store.cpp \
  'out.resize(start + lzss::StoredStreamLength(heldSize_));' \
  'out.resize(start + (lzss::kLiteralBits * heldSize_ + lzss::kEndMarkerBits) / 8);' \
  'the encoder drops a last byte that is only partly used'

fault stream-pending-copy src/coding/lzss_tokens.h \
  '*pendingLength = ref.length - count;' \
  '*pendingLength = 0;' \
  'a copy cut short by the end of an output piece loses its rest'
fault stream-window-move src/coding/lzss_decoder.cpp \
  'const std::size_t shift = (n_ - kWindowSize) & ~std::size_t{kWindowMask};' \
  'const std::size_t shift = (n_ - kWindowSize) & ~std::size_t{0xFFF};' \
  'the streaming decoder moves its window by half windows, so positions shift'
fault stream-cut-token src/coding/lzss_decoder.cpp \
  'if (carrySize_ > 0) std::memcpy(carry_, in + through, carrySize_);' \
  'if (carrySize_ > 1) std::memcpy(carry_, in + through + 1, carrySize_ - 1);' \
  'a token cut by the end of an input piece loses the first of its carried bytes'
fault stream-encoder-held src/coding/lzss_store.cpp \
  'const std::size_t take = std::min(size, sizeof held_ - heldSize_);' \
  'const std::size_t take = std::min(size, sizeof held_ - heldSize_ - (heldSize_ < 7));' \
  'the encoder drops input when a piece completes the bytes it holds'
fault stream-encoder-checksum src/coding/lzss_store.cpp \
  'checksum_ += StoreLiteralGroups(held_, 1, out.data() + out.size() - 9);' \
  'StoreLiteralGroups(held_, 1, out.data() + out.size() - 9);' \
  'the running checksum misses a group completed across two pieces'
fault stream-decode-whole src/coding/lzss_decoder.cpp \
  'Run(in, size, 0, true, out, produced, limit) == Stop::kEnded;' \
  'Run(in, size, 0, true, out, produced, limit) != Stop::kInput;' \
  'the whole-stream decoder stops where its room runs out, as if the stream had ended'
fault stream-decoder-reset src/ops/member_decode.h \
  'decoder.Reset();' \
  ';' \
  'the decoder runs on from one member into the next'
fault stream-extent src/ops/member_decode.h \
  'std::uint32_t left = extent.length;' \
  'std::uint32_t left = extent.length + 64;' \
  'extraction reads a stored stream past its extent'
fault create-short-input src/ops/store_member.cpp \
  'if (input.ReadAt(done, piece, store.data.data()) != piece) return StoreOutcome::kCannotOpen;' \
  'input.ReadAt(done, piece, store.data.data());' \
  'an input that delivers fewer bytes than its size is stored with zeros'

fault compress-position-zero src/coding/match_finder.cpp \
  'if (same == want && source % kWindowSize != 0) {' \
  'if (same == want) {' \
  'the compressor takes window position 0, the end marker, as a source'
fault compress-carry-position-zero src/coding/block_parser.cpp \
  'if (carried > kMinMatch && (start + o - distance) % kWindowSize != 0) {' \
  'if (carried > kMinMatch) {' \
  'the match carried on from the offset before may start at window position 0'
fault compress-distance src/coding/lzss_compress.cpp \
  'static_cast<std::uint32_t>(i + 1 - parser.Distance(i)) & kWindowMask;' \
  'static_cast<std::uint32_t>(i - parser.Distance(i)) & kWindowMask;' \
  'the compressor names the window position one byte off'
fault compress-overlong src/coding/block_parser.cpp \
  'const std::uint32_t most = kInside ? kMaxMatch : std::min(kMaxMatch, length - o);' \
  'const std::uint32_t most = kInside ? kMaxMatch + 1 : std::min(kMaxMatch, length - o);' \
  'the compressor takes matches of 19 bytes'
fault compress-longer src/coding/lzss_compress.cpp \
  'if (pendingBits_ > 0) Emit(0, 8 - pendingBits_, out);' \
  'Emit(0, 16 - pendingBits_, out);' \
  'a compressed stream ends with a byte too many, longer than the literal one'
fault compress-block-history src/coding/lzss_compress.cpp \
  'const std::size_t from = kBlockStart + count * kBlockSize - kWindowSize;' \
  'const std::size_t from = kBlockStart + count * kBlockSize - kWindowSize + 1;' \
  'the history kept for the next blocks is one byte off'
fault block-search-skipped src/coding/block_parser.cpp \
  'if (match.length < most && (worth >> (most - 1)) != 0) {' \
  'if (match.length < 3 && (worth >> (most - 1)) != 0) {' \
  'the parse searches for no match longer than the one carried on'
fault compress-carry-length src/coding/block_parser.cpp \
  'std::uint32_t known = carried - 1;' \
  'std::uint32_t known = carried;' \
  'the match carried on from the offset before keeps its length, one byte too many'
fault parse-cost-step src/coding/block_parser.cpp \
  '      if (dearer) {' \
  '      if (!dearer) {' \
  'the parse lowers the reaches ahead when an offset costs no more than the one before'
fault parse-claim-steps src/coding/block_parser.cpp \
  'std::memcpy(steps + o + k, kStepsAhead + k, 16);' \
  'std::memcpy(steps + o + k, kStepsAhead + k - 1, 16);' \
  'a reference records each offset it reaches one step short'
fault finder-failed-walk-kept src/coding/match_finder.cpp \
  '  failed_ = {};' \
  '' \
  'a walk that failed in one block skips searches in the next one at the same positions'
fault finder-failed-walk-common src/coding/match_finder.h \
  'want > failed_.common);' \
  'want >= failed_.common);' \
  'a search for as many bytes as a failed walk had in common is skipped'
fault finder-tables-kept src/coding/match_finder.cpp \
  'head_.assign(2 * (std::size_t{1} << bits) + (std::size_t{1} << bits3), 0);' \
  'head_.resize(2 * (std::size_t{1} << bits) + (std::size_t{1} << bits3), 0);' \
  'a finder that takes the tables of the last one on its thread keeps its heads'
fault compress-checksum-start src/coding/lzss_compress.cpp \
  'checksum_ += lzss::SumBytes(piece, written);' \
  'checksum_ += lzss::SumBytes(piece + (written != piece), written);' \
  'the checksum leaves out the first byte of every piece of stream written at once'
fault compress-threads src/coding/lzss_compress.cpp \
  'first && k == 0, hashBits_);' \
  'k == 0, hashBits_);' \
  'the first block of every round, not only the member'"'"'s, starts without its history'
fault t-extracts src/ops/extract.cpp \
  'ExtractEntries(archivePath, filter, true, report);' \
  'ExtractEntries(archivePath, filter, false, report);' \
  't extracts the archive'
fault t-size-error src/ops/extract.cpp \
  '} else if (decoded != entry.size) {' \
  '} else if (decoded > entry.size) {' \
  't passes a member that decodes to fewer bytes than its size'
fault t-checksum src/ops/extract.cpp \
  'if (checksumBad) {' \
  'if (false) {' \
  't does not compare format-3 checksums'
fault t-count src/ops/extract.cpp \
  $'++extracted;\n        report.Said(Verdict::kOk);\n      }\n      continue;' \
  $'report.Said(Verdict::kOk);\n      }\n      continue;' \
  't does not count the members that pass'

# --- Bit streams and packed integers ---------------------------------------
fault bits-read-order src/coding/bit_stream.cpp \
  'if (ReadBit()) value |= std::uint32_t{1} << i;' \
  'if (ReadBit()) value |= std::uint32_t{1} << (n - 1 - i);' \
  'bits are read least significant first'
fault bits-write-order src/coding/bit_stream.cpp \
  'WriteBit(((value >> i) & 1) != 0);' \
  'WriteBit(((value >> (n - 1 - i)) & 1) != 0);' \
  'bits are written least significant first'
fault packed-class src/coding/bit_stream.cpp \
  'if (value <= 0xFF) {' \
  'if (value < 0xFF) {' \
  '255 is packed in the 16-bit class'
fault packed-read-width src/coding/bit_stream.cpp \
  'return reader.ReadBits(static_cast<int>(8 * lengthClass + 8));' \
  'return reader.ReadBits(static_cast<int>(8 * lengthClass + 7));' \
  'a packed integer is read one bit short'

# --- Formats and extents ---------------------------------------------------
fault f3-magic src/formats/format3.cpp \
  'magic |= reader.ReadBits(8) << (8 * i);' \
  'magic |= reader.ReadBits(8) << (8 * (3 - i));' \
  'the format-3 magic is compared in the wrong byte order'
fault f3-time-halves src/formats/format3.cpp \
  $'entry.writeTime.dwHighDateTime = ReadPackedInt(reader);\n  entry.writeTime.dwLowDateTime = ReadPackedInt(reader);' \
  $'entry.writeTime.dwLowDateTime = ReadPackedInt(reader);\n  entry.writeTime.dwHighDateTime = ReadPackedInt(reader);' \
  'the halves of a format-3 time are read swapped'
fault f3-count-bound src/formats/format3.cpp \
  'count > MaxEntriesIn(fileSize)) return false;' \
  'count > MaxEntriesIn(fileSize) + UINT32_MAX) return false;' \
  'a format-3 count far beyond the file is believed'
fault f3-table-offset-bound src/formats/format3.cpp \
  'if (tableOffset > fileSize || count' \
  'if (tableOffset > fileSize + 1 || count' \
  'a format-3 table offset one past the end is accepted'
fault f3-name-cut src/formats/format3.cpp \
  'length = std::min(length, sizeof name - 1);' \
  'length = std::min(length, sizeof name);' \
  'a 256-byte format-3 name is not cut to 255 bytes'
fault f3-name-terminator src/formats/format3.cpp \
  'writer.WriteBits(8, 0);' \
  'writer.WriteBits(1, 0);' \
  'a format-3 name is written with a 1-bit terminator'
fault f3-header-fields src/formats/format3.cpp \
  $'WritePackedInt(writer, static_cast<std::uint32_t>(entries.size()));\n  WritePackedInt(writer, tableOffset);' \
  $'WritePackedInt(writer, tableOffset);\n  WritePackedInt(writer, static_cast<std::uint32_t>(entries.size()));' \
  'the format-3 header is written with count and table offset swapped'
fault f4-entry-fields src/formats/format4.cpp \
  $'entry.offset = LoadLe32Within(table, position);\n  entry.size = LoadLe32Within(table, position + 4);' \
  $'entry.size = LoadLe32Within(table, position);\n  entry.offset = LoadLe32Within(table, position + 4);' \
  'a format-4 entry is read with offset and size swapped'
fault f4-count-bound src/formats/format4.cpp \
  'count > MaxEntriesIn(fileSize)' \
  'count > MaxEntriesIn(fileSize) + UINT32_MAX' \
  'a format-4 count far beyond the file is believed'
fault f4-table-size-bound src/formats/format4.cpp \
  'std::min<std::uint64_t>(tableSize, lzss::MaxDecodedLength(stream.size()))' \
  'std::uint64_t{tableSize}' \
  'a format-4 table size from the header sizes the table whatever the file holds'
fault f4-le32 src/formats/format4.cpp \
  'std::uint32_t{bytes[2]} << 16' \
  'std::uint32_t{bytes[2]} << 8' \
  'the third byte of a format-4 number lands in the wrong place'
fault f4-table-layout src/formats/format4.cpp \
  'out += name.size() + 1;' \
  'out += name.size();' \
  'the format-4 table is built without the NUL after each name'
fault extent-backwards src/formats/archive.cpp \
  'if (end < start || end > archiveSize) end = archiveSize;' \
  'if (end < start || end > archiveSize) end = end < start ? start : archiveSize;' \
  'an extent that ends before it starts is empty instead of running to the end'
fault extent-last-member src/formats/archive.cpp \
  'index.entries[i + 1].offset : index.tableOffset;' \
  'index.entries[i + 1].offset : index.archiveSize;' \
  'the last member runs to the end of the archive instead of the table'
fault extent-past-end src/formats/archive.cpp \
  'if (start >= archiveSize) return {start, 0};' \
  'if (start >= archiveSize) return {0, archiveSize};' \
  'a member wholly past the end reads the whole archive'

# --- Names, reports, commands ----------------------------------------------
fault wildcard-question src/platform/platform_posix_search.cpp \
  "(*pattern == '?' || *pattern == *name)" \
  '(*pattern == *name)' \
  "'?' matches only itself"
fault expand-directories src/cli/name_list.cpp \
  'if (isDirectory) return;' \
  '(void)isDirectory;' \
  'a pattern also finds directories'
fault expand-directory-part src/cli/name_list.cpp \
  'path.assign(pattern, 0, directoryLength).append(name);' \
  'path.assign(pattern, 0, 0).append(name);' \
  "a pattern's directory part is dropped"
fault names-fold src/platform/platform_posix_search.cpp \
  $'static_cast<unsigned char>(byte - \'A\' + \'a\') : byte;' \
  'byte : byte;' \
  'names and command words compare with regard to letter case'
fault filter-case src/ops/select.cpp \
  'if (NameMatches(name, wanted)) return true;' \
  'if (name == wanted) return true;' \
  'a selecting name must match the letter case'
fault thousands-groups src/cli/report.cpp \
  '"%3d,%03d,%03d"' \
  '"%3d,%03d,%3d"' \
  'the last group of a million pads with spaces'
fault thousands-width src/cli/report.cpp \
  '"%3d", static_cast<int>(u)' \
  '"%d", static_cast<int>(u)' \
  'a number below 1,000 is not right-aligned'
fault total-line src/cli/console_report.cpp \
  '" Bytes\n"' \
  '" bytes\n"' \
  'the total line says bytes'
fault dispatch-create-needs-name src/cli/dispatcher.cpp \
  '((creates || modifies) && argc < 4)' \
  '((creates || modifies) && argc < 3)' \
  'c3, c4, a and d run without a name after the archive'
fault dispatch-format src/cli/dispatcher.cpp \
  "const char create[] = {'c', candidate->digit, '\\0'};" \
  "const char create[] = {'c', static_cast<char>(candidate->digit ^ 7), '\\0'};" \
  'c3 makes format 4 and c4 format 3'

# --- The file layer --------------------------------------------------------
fault output-incomplete-replaces src/io/output_file.cpp \
  'if (complete && platform::ReplacePath(' \
  'if (platform::ReplacePath(' \
  'a member whose write failed still replaces the older file'
fault output-part-left src/io/output_file.cpp \
  $'file_.Close();\n  platform::DeletePath(part_.c_str());' \
  'file_.Close();' \
  'a member that cannot be finished leaves its temporary file'
fault output-no-times src/io/output_file.cpp \
  'if (time != nullptr) file_.SetAllTimes(time);' \
  '(void)time;' \
  'an extracted format-3 member keeps the time of its extraction'
fault replace-read-only src/platform/platform_posix.cpp \
  'if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return false;' \
  ';' \
  'a read-only file is replaced'
fault replace-held-open src/platform/platform_posix.cpp \
  'if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) != 0) {' \
  'if (fd >= 0 && false) {' \
  'a file held open, such as the archive being read, is replaced'
fault open-any-kind src/platform/platform_posix.cpp \
  '!S_ISREG(st.st_mode) || flock(fd, LOCK_SH' \
  'flock(fd, LOCK_SH' \
  'directories and FIFOs open for reading'
fault create-not-exclusive src/platform/platform_posix.cpp \
  $'NativeFile CreateTemporaryForWrite(const char* path) {\n  const int fd = open(path, O_WRONLY | O_CREAT | O_EXCL |' \
  $'NativeFile CreateTemporaryForWrite(const char* path) {\n  const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC |' \
  'creating a temporary file overwrites one that exists'
fault read-without-seek src/platform/platform_posix.cpp \
  'at < 0 ? read(fd, out + total, chunk) : pread(fd, out + total, chunk, at);' \
  'read(fd, out + total, chunk);' \
  'a read at an offset starts wherever the file position happens to be'
fault seek-signed src/platform/platform_posix.cpp \
  'ReadLoop(ToFd(file), static_cast<off_t>(offset), dest, size, done);' \
  'ReadLoop(ToFd(file), static_cast<std::int32_t>(offset), dest, size, done);' \
  'offsets from 2 GiB on cannot be reached'
fault time-precision src/platform/platform_posix.cpp \
  'static_cast<std::uint64_t>(ts.tv_nsec) / 100;' \
  'static_cast<std::uint64_t>(ts.tv_nsec) / 1000;' \
  'time stamps lose a digit of their 100 ns units'

# --- Listing, extraction, creation -----------------------------------------
fault list-columns src/cli/console_report.cpp \
  '"%4d/%02d/%02d  %02d:%02d  %13s  "' \
  '"%4d/%02d/%02d  %02d:%02d %13s  "' \
  'a format-3 listing line loses a space before the size'
fault list-local-offset src/platform/platform_posix.cpp \
  '*local = FromTicks(ticks + static_cast<std::uint64_t>(offsetTicks));' \
  '*local = FromTicks(ticks);' \
  'listed dates ignore the local offset'
fault calendar-months src/platform/platform_posix.cpp \
  'monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;' \
  'monthIndex < 10 ? monthIndex + 3 : monthIndex - 10;' \
  'dates in January and February show the wrong month'
fault extract-unsafe-names src/ops/member_writer.cpp \
  'write && IsSafeMemberName(name) && file.Open(name);' \
  'write && file.Open(name);' \
  'extraction writes wherever a stored name points'
fault safe-name-backslash src/io/path.cpp \
  'std::string("/\\\0", 3)' \
  'std::string("/\0", 2)' \
  "a member name holding '\\' passes as safe"
fault extract-checksum-skips src/ops/extract.cpp \
  'if (checksumBad) report.Said(Verdict::kChecksumNote);' \
  'if (checksumBad) { report.Said(Verdict::kChecksumError); continue; }' \
  'a member with a checksum error is not written'
fault extract-count src/ops/extract.cpp \
  $'      ++extracted;\n      report.Said(Verdict::kOk);\n    } else {' \
  $'      report.Said(Verdict::kOk);\n    } else {' \
  'extracted members are not counted'
fault extract-filter src/ops/extract.cpp \
  'if (!IsSelected(name, filter)) continue;' \
  ';' \
  'extraction ignores the selecting names'
fault create-continues src/ops/create.cpp \
  $'                       store, batch, report)) {\n      return false;' \
  $'                       store, batch, report)) {\n      continue;' \
  'creation goes on past a member it cannot store'
fault create-keeps-old-archive src/ops/create.cpp \
  $'platform::DeletePath(archivePath.c_str());\n  FileHandle archive;' \
  $'FileHandle archive;' \
  'creation does not delete what stands at the archive path'
fault create-bare-name src/ops/store_member.cpp \
  'const std::string bare = BareName(path);' \
  'const std::string bare = path;' \
  'a name found in a subdirectory is stored with its directory part'
fault create-too-large src/ops/store_member.cpp \
  $'kMaxArchiveSize) {\n    return StoreOutcome::kTooLarge;' \
  $'kMaxArchiveSize) {\n    return StoreOutcome::kCannotOpen;' \
  'an input too large for the format is reported as one that cannot be opened'
fault create-checksum src/ops/store_member.cpp \
  'entry.checksum = encoder.Finish(packed);' \
  'encoder.Finish(packed);' \
  'format-3 entries are created without their checksums'
fault create-pipe-size-changed src/ops/store_member.cpp \
  '!input.GetFullSize(&size) || size != entry.size) {' \
  '!input.GetFullSize(&size)) {' \
  'c3 - stores a file that grew after the header went out cut to the size counted'
fault create-table-size src/formats/format4.cpp \
  'StoreLe32(static_cast<std::uint32_t>(plain.size()), header.data() + 12);' \
  'StoreLe32(static_cast<std::uint32_t>(table.size()), header.data() + 12);' \
  'the format-4 header gives the stored table length as its size'


fault pipe-exit-status src/cli/dispatcher.cpp \
  $'      return report.Failed() ? 1 : 0;\n    }\n    CreateArchive(' \
  $'      return 0;\n    }\n    CreateArchive(' \
  'a creation into standard output that stops exits 0'
fault progress-not-erased src/cli/console_report.cpp \
  $'  progress_.Erase();\n  std::fwrite(held_' \
  $'  std::fwrite(held_' \
  'a line is printed over the progress line'
fault progress-everywhere src/cli/progress_line.cpp \
  '? Mode::kAfterASecond : Mode::kOff' \
  '? Mode::kAfterASecond : Mode::kAtOnce' \
  'the progress line shows where standard error is no terminal'

# --- Changing and recovering archives ---------------------------------------
fault modify-old-offset src/ops/rewrite.cpp \
  'copy.offset = static_cast<std::uint32_t>(store.position);' \
  'copy.offset = entry.offset;' \
  'a member copied into the changed archive keeps its old offset'
fault modify-read-only src/ops/rewrite.cpp \
  'if (!platform::MayWrite(target.path.c_str())) {' \
  'if (false) {' \
  'an archive its user may not write is replaced through its directory'
fault modify-extents src/ops/rewrite.cpp \
  'if (i == 0 ? offset != next : offset < next) return false;' \
  'if (false) return false;' \
  'an archive whose streams do not lie back to back is changed'
fault recover-cut src/ops/recover.cpp \
  'cut_ = !plan_.walkLater && walk.lastCut && i + 1 == starts_.size();' \
  'cut_ = false;' \
  'a stream that the end of the file cuts is reported whole'
fault recover-numbering src/ops/recover.cpp \
  'Write("recovered-" + std::to_string(i + 1)' \
  'Write("recovered-" + std::to_string(i)' \
  'unnamed streams are numbered from 0'
fault recover-blank-header src/formats/archive.cpp \
  'if (format->headerSize <= zeros &&' \
  'if (format->headerSize < zeros &&' \
  'a header area blank through byte 12 only points to no format'
fault recover-evidence src/ops/recover_layout.cpp \
  'if (candidates[i].walk.evidence > candidates[best].walk.evidence) best = i;' \
  'if (candidates[i].walk.evidence < candidates[best].walk.evidence) best = i;' \
  'the walk whose streams show less evidence of an encoder is taken'
fault recover-header-zeros src/ops/recover_walk.cpp \
  'if (at > zeros) walk.evidence += StreamEvidence(ending);' \
  'walk.evidence += StreamEvidence(ending);' \
  'the empty streams a blank header area makes count as evidence'
fault recover-zero-reads src/coding/lzss_tokens.h \
  $'if (!kWarm && distance > at.n) {\n    ++at.zeroReads;' \
  $'if (!kWarm && distance > at.n) {\n    ;' \
  'the decoder counts no reads of the initial zeros in a fast step'
fault recover-end-stored src/coding/lzss_decoder.cpp \
  'ending_.stored = at.bitPos <= bitsIn;' \
  'ending_.stored = true;' \
  'an end marker completed by zero bits counts as stored'
fault pipe-extent src/ops/passing_streams.cpp \
  'if (taken[k] || (found->cut ? extentEnd != streamEnd : extentEnd < streamEnd)) return false;' \
  'if (taken[k]) return false;' \
  'from a pipe, a member whose extent ends before its stream does takes the whole stream'
fault pipe-refeed src/ops/passing_streams.cpp \
  'Feed(again.data(), again.size());' \
  '(void)again;' \
  'from a pipe, the bytes the decoder took past an end marker are lost to the next stream'
fault pipe-part-name src/ops/passing_streams.cpp \
  'if (number == UINT32_MAX || number == keep.part) return;' \
  'return;' \
  'from a pipe, a member called as the waiting file of a later one overwrites it'
# ---------------------------------------------------------------------------

usage() { echo "usage: $0 [--list] [NUMBER|NAME|PATTERN...]" >&2; exit 2; }
list=0
selectors=()
for arg in "$@"; do
  case "${arg}" in
    --list) list=1 ;;
    -*) usage ;;
    *) selectors+=("${arg}") ;;
  esac
done

chosen=()
for i in "${!names[@]}"; do
  pick=$((${#selectors[@]} == 0))
  for s in "${selectors[@]}"; do
    # shellcheck disable=SC2053
    if [[ "${s}" == "$((i + 1))" || "${names[i]}" == ${s} ]]; then pick=1; fi
  done
  if [[ "${pick}" == 1 ]]; then chosen+=("${i}"); fi
done
if [[ ${#chosen[@]} == 0 ]]; then
  echo "no fault matches ${selectors[*]}" >&2
  exit 2
fi
# Whether fault i applies to its file under directory $2: its text occurs
# there exactly once. Sets original to the file's contents.
applies() {
  local file="$2/${files[$1]}" rest
  [[ -f "${file}" ]] || return 1
  original="$(cat "${file}"; printf x)"
  original="${original%x}"
  rest="${original#*"${finds[$1]}"}"
  [[ "${rest}" != "${original}" && "${rest}" != *"${finds[$1]}"* ]]
}
if [[ "${list}" == 1 ]]; then
  # A fault whose text no longer occurs exactly once in its file fails the
  # listing: a move of code must take its faults along.
  stale=0
  for i in "${chosen[@]}"; do
    state=""
    applies "${i}" "${root}" || { state=" (DOES NOT APPLY)"; stale=$((stale + 1)); }
    printf '%3d %-28s %s%s\n' $((i + 1)) "${names[i]}" "${whats[i]}" "${state}"
  done
  if ((stale > 0)); then
    echo "== ${stale} fault(s) do not apply" >&2
    exit 1
  fi
  exit 0
fi

# One run at a time per scratch tree.
mkdir -p "${scratch}"
exec 9>"${scratch}/lock"
if ! flock -n 9; then
  echo "another run holds ${scratch}" >&2
  exit 1
fi
tree="${scratch}/tree"
build="${tree}/build"
log="${scratch}/log"
mkdir -p "${tree}"

# The scratch tree takes this tree's files as they are now, committed or not;
# files that did not change keep their times, so the build reuses them.
echo "== copying ${root} to ${tree}"
declare -A present=()
while IFS= read -r -d '' file; do
  [[ -f "${root}/${file}" ]] || continue
  present["${file}"]=1
  if ! cmp -s "${root}/${file}" "${tree}/${file}"; then
    mkdir -p "$(dirname "${tree}/${file}")"
    cp "${root}/${file}" "${tree}/${file}"
  fi
done < <(git -C "${root}" ls-files -z --cached --others --exclude-standard)
while IFS= read -r -d '' file; do
  file="${file#"${tree}/"}"
  if [[ -z "${present["${file}"]:-}" ]]; then rm -f "${tree}/${file}"; fi
done < <(find "${tree}" -path "${build}" -prune -o -type f -print0)

launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
build_tree() { nice cmake --build "${build}" -j "${jobs}" >"${log}" 2>&1; }
# Returns 0 when every test passes; the first failure stops the run. The
# tests that took longer than 5 s on the unchanged tree run last, after the
# quick ones have had their chance to catch the fault.
slow=""
ctest_run() {
  ctest --test-dir "${build}" -j "${jobs}" --stop-on-failure --timeout "${test_timeout}" "$@" \
    >>"${log}" 2>&1
}
run_tests() {
  : >"${log}"
  if [[ -z "${slow}" ]]; then
    ctest_run --no-tests=error
  else
    ctest_run -E "${slow}" && ctest_run -R "${slow}"
  fi
}
first_failure() {
  grep -E '\*\*\*(Failed|Timeout|Exception)|Failed  |Not Run' "${log}" | head -n 1 |
    sed -E 's/^ *[0-9]+\/[0-9]+ Test +#[0-9]+: ([^ ]+).*(Failed|Timeout|Exception|Not Run).*/\1 (\2)/'
}

echo "== configuring and building ${build}"
# Release: no debug information to compile and link, the same optimisation.
cmake -S "${tree}" -B "${build}" -DCMAKE_BUILD_TYPE=Release -DQEV_BUILD_TESTS=ON \
  -DQEV_BUILD_BENCH=OFF -DQEV_BUILD_FUZZ=ON -DQEV_LIBFUZZER=OFF -DQEV_SANITIZE=OFF \
  -DQEV_WERROR=OFF "${launcher[@]}" >"${log}" 2>&1 || {
  cat "${log}"
  exit 1
}
if ! build_tree; then
  tail -n 40 "${log}"
  echo "== the unchanged tree does not build" >&2
  exit 1
fi
echo "== running the suite on the unchanged tree"
start=${SECONDS}
if ! run_tests; then
  tail -n 40 "${log}"
  echo "== the suite fails without any fault: $(first_failure)" >&2
  exit 1
fi
echo "   passed in $((SECONDS - start)) s"
slow="$(sed -nE 's/^ *[0-9]+\/[0-9]+ Test +#[0-9]+: ([^ ]+) .*Passed +([0-9]+)\.[0-9]+ sec$/\2 \1/p' "${log}" |
  awk '$1 >= 5 { gsub(/\./, "\\.", $2); printf "%s^%s$", sep, $2; sep = "|" }')"
if [[ -n "${slow}" ]]; then echo "   run last: ${slow}"; fi

caught=() missed=() unusable=()
for i in "${chosen[@]}"; do
  name="${names[i]}"
  file="${tree}/${files[i]}"
  label="$(printf '%3d %-28s' $((i + 1)) "${name}")"
  if ! applies "${i}" "${tree}"; then
    echo "${label} DOES NOT APPLY: its text is not in ${files[i]} exactly once"
    unusable+=("${name}")
    continue
  fi
  printf '%s' "${original/"${finds[i]}"/"${replaces[i]}"}" >"${file}"
  start=${SECONDS}
  if ! build_tree; then
    result="DOES NOT BUILD"
    unusable+=("${name}")
    grep -m 3 -E 'error' "${log}" || true
  elif run_tests; then
    result="MISSED"
    missed+=("${name}")
  else
    result="caught by $(first_failure)"
    caught+=("${name}")
  fi
  printf '%s' "${original}" >"${file}"
  echo "${label} ${result}, $((SECONDS - start)) s: ${whats[i]}"
done
build_tree || true

echo "== caught ${#caught[@]} of ${#chosen[@]}; missed ${#missed[@]}${missed[*]:+: ${missed[*]}}"
if [[ ${#unusable[@]} -gt 0 ]]; then
  echo "== not applied or not built: ${unusable[*]}"
fi
[[ ${#missed[@]} == 0 && ${#unusable[@]} == 0 ]]
