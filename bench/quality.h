// The quality benchmark: semi-transparent logos of known opacity over
// generated footage, removed by Pendra (three ways) and by FFmpeg's delogo
// and removelogo, scored by the PSNR of the logo rectangle against the clean
// picture.
#pragma once

namespace pendra::bench {

// Runs every method on every opacity and prints the table.
void printQualityTable();

} // namespace pendra::bench
