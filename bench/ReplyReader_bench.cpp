#include "ftp/ReplyReader.h"

#include <benchmark/benchmark.h>
#include <string>

namespace {

// A long multi-line reply (FEAT, HELP, a chatty greeting) arriving in reads of
// `state.range(0)` bytes: cost of cutting its lines and following the reply.
void BM_CutReplyLines(benchmark::State& state) {
    std::string reply;
    for (int i = 0; i < 200; ++i)
        reply += "211-Feature number " + std::to_string(i) + " with some descriptive text\r\n";
    reply += "211 End\r\n";
    const auto chunk = static_cast<std::size_t>(state.range(0));
    for (auto _ : state) {
        ftpreply::ReplyBuffer buffer;
        ftpreply::ReplyAssembler assembler;
        int finals = 0;
        for (std::size_t i = 0; i < reply.size(); i += chunk) {
            buffer.Append(std::string_view(reply).substr(i, chunk));
            while (auto line = buffer.TakeLine(true))
                finals +=
                    assembler.Feed(*line).kind == ftpreply::ReplyAssembler::Kind::Final ? 1 : 0;
        }
        benchmark::DoNotOptimize(finals);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * reply.size()));
}
BENCHMARK(BM_CutReplyLines)->Arg(1)->Arg(64)->Arg(1460)->Arg(4095);

} // namespace
