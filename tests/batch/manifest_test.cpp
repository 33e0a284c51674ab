// Reading manifests as users write them (spreadsheet CSV, shell-like option
// lines) and the records that decide whether a rerun may skip a row.
#include "batch/batch_files.h"
#include "batch/csv_table.h"
#include "batch/manifest.h"
#include "batch/row_record.h"
#include "batch/shell_words.h"
#include "cli/av_support.h"
#include "pendra_version.h"
#include "tests/batch/batch_runner.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

namespace fs = std::filesystem;
using namespace pendra::batch;
using pendra::test::here;
using pendra::test::writeText;

namespace {

using Words = std::vector<std::string>;

std::vector<Words> fieldsOf(const std::string &text) {
    CsvError error;
    std::optional<std::vector<CsvRecord>> records = parseCsv(text, error);
    std::vector<Words> out;
    if (records)
        for (const CsvRecord &r : *records)
            out.push_back(r.fields);
    return out;
}

// The manifest's error message, or "" when it was accepted.
// A record of the row as its files are now, as a worker writes it.
RowRecord currentFilesOf(const ManifestRow &row) {
    RowRecord r;
    r.version = PENDRA_VERSION;
    r.settings = *settingsHash(row);
    r.input = *stampOf(row.input);
    r.output = *stampOf(row.output);
    return r;
}

std::string refusal(const std::string &text) {
    writeText(here("m/refused.csv"), text);
    try {
        readManifest(here("m/refused.csv"));
        return "";
    } catch (const pendra::cli::CliError &e) {
        return e.what();
    }
}

} // namespace

TEST(BatchManifest, CsvAsSpreadsheetsWriteIt) {
    EXPECT_EQ(fieldsOf("\xEF\xBB\xBFinput,output\r\na.mp4,\"b, c.mp4\"\r\n\r\n"),
              (std::vector<Words>{{"input", "output"}, {"a.mp4", "b, c.mp4"}}));
    EXPECT_EQ(fieldsOf("a,\"say \"\"hi\"\"\",\"two\nlines\"\nx,,"),
              (std::vector<Words>{{"a", "say \"hi\"", "two\nlines"}, {"x", "", ""}}));
    CsvError error;
    EXPECT_FALSE(parseCsv("input,output\na,b\nc,\"d\ne\n", error));
    EXPECT_EQ(error.line, 3);
    EXPECT_EQ(error.problem, "a quote is not closed");
    // Empty quoted fields, a record of one empty field, the last line without its end.
    EXPECT_EQ(fieldsOf("\"\",b\n\"\"\r\nc,\"d\""),
              (std::vector<Words>{{"", "b"}, {""}, {"c", "d"}}));
}

// What RFC 4180 does not allow is refused with its line, never guessed at: a
// stray quote once merged two rows into one.
TEST(BatchManifest, CsvOutsideTheRulesRefused) {
    auto problem = [](const std::string &text) {
        CsvError error;
        if (parseCsv(text, error))
            return std::string("accepted");
        return std::to_string(error.line) + ": " + error.problem;
    };
    // Two stray quotes once read as one quoted field across the line end.
    EXPECT_EQ(problem("input,output\na 5\" tv.mp4,a.mkv\nb 7\" tv.mp4,b.mkv\n"),
              "2: a quote inside a field that does not start with one: a 5\" tv.mp4 (to keep it, "
              "quote the field and double its quotes: \"a 5\"\" tv.mp4\")");
    EXPECT_EQ(problem("input,output\na.mp4,a.mkv\n\"b\".mp4,b.mkv\n"),
              "3: text after the closing quote of a quoted field (a quote inside one is written "
              "twice: \"\")");
    EXPECT_EQ(problem("input,output\n \"b.mp4\",b.mkv\n").rfind("2: a quote inside a field", 0),
              0u);
    EXPECT_EQ(problem("input,output\n\"b.mp4\" ,b.mkv\n").rfind("2: text after the closing", 0),
              0u);
    // Found on the line where it stands, after a quoted line break.
    EXPECT_EQ(problem("input,output\n\"two\nlines\",x\"\n").rfind("3: a quote inside", 0), 0u);
    EXPECT_EQ(problem("input,output\ra,b\r"),
              "1: a carriage return that does not end a line, outside quotes");
    EXPECT_EQ(problem("input,output\nx,\"open\na,b\nc,d\n"), "2: a quote is not closed");
}

TEST(BatchManifest, OptionsSplitAsAShellWouldWithoutExpanding) {
    EXPECT_EQ(splitShellWords("--logo 'my logo0.bmp'  --x 5 \"\" a\\ b \"q \\\"x\\\" \\$y\""),
              (Words{"--logo", "my logo0.bmp", "--x", "5", "", "a b", "q \"x\" $y"}));
    EXPECT_EQ(splitShellWords("$HOME *.bmp `id`"), (Words{"$HOME", "*.bmp", "`id`"}));
    EXPECT_EQ(splitShellWords(""), Words{});
    EXPECT_FALSE(splitShellWords("--logo 'open"));
    EXPECT_FALSE(splitShellWords("--logo \"open"));
    EXPECT_FALSE(splitShellWords("trailing\\"));
}

TEST(BatchManifest, RowsResolvedBesideTheManifest) {
    writeText(here("m/sub/rows.csv"), "Output,OPTIONS,input,job\n"
                                      "out/a.mkv,--crf 20,a.mp4,a.job\n"
                                      "/abs/b.mkv,--logo l0.bmp,../b.mp4,\n"
                                      "c.mkv,,c.mp4,\n");
    Manifest m = readManifest(here("m/sub/rows.csv"));
    ASSERT_EQ(m.rows.size(), 3u);
    EXPECT_EQ(m.rows[0].input, here("m/sub/a.mp4"));
    EXPECT_EQ(m.rows[0].output, here("m/sub/out/a.mkv"));
    EXPECT_EQ(m.rows[1].input, here("m/b.mp4"));
    EXPECT_EQ(m.rows[1].output, fs::path("/abs/b.mkv"));
    EXPECT_EQ(m.stateFolder(), here("m/sub/rows-batch"));
    EXPECT_EQ(m.defaultReport(), here("m/sub/rows-report.json"));
    // A job, a logo of its own, else the analysis; no -y: the worker replaces
    // only files the batch made.
    EXPECT_EQ(processArguments(m.rows[0]),
              (Words{"process", here("m/sub/a.mp4"), here("m/sub/out/a.mkv"), "--job",
                     here("m/sub/a.job"), "--crf", "20"}));
    EXPECT_EQ(processArguments(m.rows[1]),
              (Words{"process", here("m/b.mp4"), "/abs/b.mkv", "--logo", "l0.bmp"}));
    EXPECT_EQ(processArguments(m.rows[2]),
              (Words{"process", here("m/sub/c.mp4"), here("m/sub/c.mkv"), "--auto"}));
}

TEST(BatchManifest, MistakesRefusedWithTheirLine) {
    const std::string name = here("m/refused.csv").string();
    EXPECT_EQ(refusal("input,ouput\na,b\n"),
              name + ": line 1: unknown column \"ouput\" (the columns are input, output, job, "
                     "options)");
    EXPECT_EQ(refusal("input,job\na,b\n"),
              name + ": line 1: the header must name the columns input and output");
    EXPECT_EQ(refusal("input,output\na,x.mkv\nb,./x.mkv\n"),
              name + ": line 3: writes ./x.mkv again (as line 2 does)");
    EXPECT_EQ(refusal("input,output\na,\n"), name + ": line 2: needs both an input and an output");
    EXPECT_EQ(refusal("input,output\na,b,c\n"),
              name + ": line 2: has 3 fields, the header names 2");
    EXPECT_EQ(refusal("input,output,options\na,b,\"--x 'open\"\n"),
              name + ": line 2: the options have a quote left open: --x 'open");
    EXPECT_NE(refusal("input,output,options\na,b,-y\n").find("may not hold -y"), std::string::npos);
    EXPECT_EQ(refusal("input,output,job,options\na,b,,--job x.job\nc,d,c.job,--job=x.job\n"),
              name + ": line 2: the options may not hold --job (the job has a column of its own)");
    EXPECT_EQ(refusal("input,output,job,options\na,b,a.job,--crf 20\nc,d,,--job=x.job --crf 1\n"),
              name + ": line 3: the options may not hold --job (the job has a column of its own)");
    // The options are the command's: a typo is found before any row runs.
    EXPECT_EQ(refusal("input,output,options\na,b,--logo l0.bmp\nc,d,--crff 20\n"),
              name + ": line 3: process: unknown option --crff (see pendra process --help)");
    EXPECT_EQ(refusal("input,output,options\na,b,--x left\n"),
              name +
                  ": line 2: --x wants a whole number, not \"left\" (see pendra process --help)");
    EXPECT_EQ(
        refusal("input,output,job,options\na,b,a.job,--auto\n").rfind(name + ": line 2: --auto", 0),
        0u);
    EXPECT_EQ(refusal("input,output\n"), name + ": has no rows under its header");
    EXPECT_EQ(refusal("input,output\n\"a,b\n"), name + ": line 2: a quote is not closed");
    // A stray quote in a name: the manifest and the line are named.
    EXPECT_EQ(refusal("input,output\na 5\" tv.mp4,a.mkv\nb 7\" tv.mp4,b.mkv\n")
                  .rfind(name + ": line 2: a quote inside a field that does not start with one: a "
                                "5\" tv.mp4",
                         0),
              0u);
}

// No file a row writes may be one that a row or the batch reads, by any
// name or link, nor one another row writes: found when the manifest is read,
// before any row runs, and named with its line.
TEST(BatchManifest, NoRowWritesWhatARowOrTheBatchReads) {
    const std::string name = here("m/refused.csv").string();
    auto at = [](const std::string &file) { return here("m/" + file).string(); };
    const std::string logo = "--logo l0.bmp --x 1 --y 1";
    // A row's output that is another row's input: the first would replace it.
    EXPECT_EQ(refusal("input,output\na.mp4,b.mp4\nb.mp4,c.mkv\n"),
              name + ": line 2: the output " + at("b.mp4") +
                  " is the input of line 3; writing it would destroy it");
    // By another name: a link to it.
    writeText(here("m/in.mp4"), "video");
    fs::remove(here("m/link.mp4"));
    fs::create_symlink(here("m/in.mp4"), here("m/link.mp4"));
    EXPECT_EQ(refusal("input,output\nin.mp4,x.mkv\nother.mp4,link.mp4\n"),
              name + ": line 3: the output " + at("link.mp4") +
                  " is the input of line 2; writing it would destroy it");
    // The files the options write: the saved job onto the manifest, a trace
    // onto a job or a capture.
    EXPECT_EQ(refusal("input,output,options\na.mp4,b.mkv,--save-job refused.csv " + logo + "\n"),
              name + ": line 2: --save-job " + at("refused.csv") +
                  " is the manifest; writing it would destroy it");
    EXPECT_EQ(refusal("input,output,job,options\na.mp4,a.mkv,a.job,\nb.mp4,b.mkv,,--trace a.job " +
                      logo + "\n"),
              name + ": line 3: --trace " + at("a.job") +
                  " is the job of line 2; writing it would destroy it");
    EXPECT_EQ(refusal("input,output,options\na.mp4,a.mkv,--trace l2.bmp " + logo + "\n"),
              name + ": line 2: --trace " + at("l2.bmp") +
                  " is a logo capture of line 2; writing it would destroy it");
    // Two rows writing one file under two names.
    EXPECT_EQ(refusal("input,output,options\na.mp4,a.mkv,--trace t.txt " + logo +
                      "\nb.mp4,sub/../t.txt,\n"),
              name + ": line 3: the output " + at("t.txt") +
                  " is --trace of line 2 as well; one would replace the other");
    // The analysis of a row without a job writes its folder beside the output.
    EXPECT_EQ(refusal("input,output,job\na.mp4,out/x.mkv,\nb.mp4,y.mkv,out/x-logo/logo.job\n"),
              name + ": line 2: the analysis (--auto) " + at("out/x-logo/logo.job") +
                  " is the job of line 3; writing it would destroy it");
    EXPECT_EQ(refusal("input,output\na.mp4,out/x.mkv\nout/x-logo/clip.mp4,y.mkv\n"),
              name + ": line 2: the analysis (--auto) writes in " + at("out/x-logo") +
                  ", which holds the input of line 3, " + at("out/x-logo/clip.mp4") +
                  "; move it out of that folder");
    // The batch's own folder holds its records, logs and scripts.
    EXPECT_EQ(refusal("input,output\na.mp4,refused-batch/records/x.json\n"),
              name + ": line 2: the output " + at("refused-batch/records/x.json") +
                  " lies in the batch's own folder " + at("refused-batch"));
    // One input in many rows is no conflict.
    EXPECT_EQ(refusal("input,output\nin.mp4,x.mkv\nlink.mp4,y.mkv\n"), "");
}

// A record vouches for the files its row made while they are as it made
// them; anything else where a row writes is not the batch's to replace.
TEST(BatchManifest, TheBatchReplacesOnlyWhatItsRecordSaysItMade) {
    fs::remove_all(here("v"));
    writeText(here("v/in.mp4"), "input");
    writeText(here("v/list.csv"),
              "input,output,options\nin.mp4,out.mkv,--logo l0.bmp --trace t.txt\n");
    const Manifest m = readManifest(here("v/list.csv"));
    const ManifestRow &row = m.rows[0];
    makeStateFolders(m);
    auto refusal = [&]() -> std::string {
        try {
            checkMadeByBatch(m, row);
            return "";
        } catch (const pendra::cli::CliError &e) {
            return e.what();
        }
    };
    auto notMade = [&](const fs::path &file) {
        return m.name + ": line 2: " + file.string() +
               " exists and this batch did not make it (or it has changed since); the batch "
               "replaces only files it made, so move it away or name another file";
    };
    EXPECT_EQ(refusal(), "") << "nothing there yet";
    writeText(here("v/out.mkv"), "made by hand");
    EXPECT_EQ(refusal(), notMade(here("v/out.mkv")));

    RowRecord record;
    record.made[madeKey(m, row.output)] = *stampOf(row.output);
    writeRecord(recordPath(m.stateFolder(), row), record);
    EXPECT_EQ(refusal(), "");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    writeText(here("v/out.mkv"), "made by hand over the batch's");
    EXPECT_EQ(refusal(), notMade(here("v/out.mkv")));
    record.made[madeKey(m, row.output)] = *stampOf(row.output);
    writeText(here("v/t.txt"), "a trace by hand");
    writeRecord(recordPath(m.stateFolder(), row), record);
    EXPECT_EQ(refusal(), notMade(here("v/t.txt")));
    // Listed by the name the worker saw, relative to the manifest's folder.
    record.made[madeKey(m, "t.txt")] = *stampOf(here("v/t.txt"));
    writeRecord(recordPath(m.stateFolder(), row), record);
    EXPECT_EQ(refusal(), "");

    // A link where a file was made is not that file.
    fs::remove(here("v/t.txt"));
    fs::create_symlink(here("v/in.mp4"), here("v/t.txt"));
    EXPECT_EQ(refusal(), notMade(here("v/t.txt")));
    fs::remove(here("v/t.txt"));
    // A run killed after renaming its output into place, before its record
    // said so: the record names the output as being placed, with the stamp
    // the rename kept, and that vouches for it.
    writeText(here("v/out.mkv"), "placed by a run cut short");
    RowRecord placing;
    placing.placing[madeKey(m, row.output)] = *stampOf(row.output);
    writeRecord(recordPath(m.stateFolder(), row), placing);
    EXPECT_EQ(refusal(), "");
    const std::optional<RowRecord> read = readRecord(recordPath(m.stateFolder(), row));
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->placing, placing.placing);
    // A record from before the list vouches for its output alone.
    RowRecord older;
    older.output = *stampOf(row.output);
    writeRecord(recordPath(m.stateFolder(), row), older);
    EXPECT_EQ(refusal(), "");
    EXPECT_TRUE(readRecord(recordPath(m.stateFolder(), row))->made.empty());
}

// The batch's state folders are made before any row runs, and one that
// cannot be made is named.
TEST(BatchManifest, StateFoldersMadeOrNamed) {
    writeText(here("s/list.csv"), "input,output\na.mp4,a.mkv\n");
    fs::remove_all(here("s/list-batch"));
    Manifest m = readManifest(here("s/list.csv"));
    makeStateFolders(m);
    for (const char *sub : {"records", "logs", "progress", "slurm"})
        EXPECT_TRUE(fs::is_directory(m.stateFolder() / sub)) << sub;
    fs::remove_all(m.stateFolder());
    writeText(m.stateFolder(), "a file where the folder goes");
    try {
        makeStateFolders(m);
        ADD_FAILURE() << "a file in the state folder's place was taken for a folder";
    } catch (const pendra::cli::CliError &e) {
        EXPECT_EQ(std::string(e.what()).rfind((m.stateFolder() / "records").string() +
                                                  ": cannot make the batch's folder: ",
                                              0),
                  0u)
            << e.what();
    }
    fs::remove(m.stateFolder());
}

// A record vouches for an output only while the input, the job's bytes, the
// options and the output itself are as they were when it was written.
TEST(BatchManifest, RecordGoesStaleWithAnyChange) {
    writeText(here("r/in.mp4"), "input");
    writeText(here("r/a.job"), "job one");
    writeText(here("r/out.mkv"), "output");
    const std::string manifest = "input,output,job,options\nin.mp4,out.mkv,a.job,--crf 20\n";
    writeText(here("r/list.csv"), manifest);
    auto write = [&] {
        Manifest m = readManifest(here("r/list.csv"));
        RowRecord r = currentFilesOf(m.rows[0]);
        makeStateFolders(m);
        writeRecord(recordPath(m.stateFolder(), m.rows[0]), r);
    };
    auto current = [&] {
        Manifest m = readManifest(here("r/list.csv"));
        return currentRecord(m.stateFolder(), m.rows[0]).has_value();
    };
    // Each change is made to a record that was current just before it, so
    // that no staleness passes for that of an earlier change.
    auto staleAfter = [&](auto change) {
        write();
        EXPECT_TRUE(current()) << "the record was not current before the change";
        change();
        return !current();
    };

    EXPECT_TRUE(staleAfter([] { writeText(here("r/a.job"), "job two"); })) << "the job changed";
    EXPECT_TRUE(staleAfter([] {
        writeText(here("r/list.csv"), "input,output,job,options\nin.mp4,out.mkv,a.job,--crf 21\n");
    })) << "an option changed";
    // The same bytes written anew still count as a new input (a new capture).
    EXPECT_TRUE(staleAfter([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        writeText(here("r/in.mp4"), "input");
    })) << "the input was written again";
    EXPECT_TRUE(staleAfter([] { writeText(here("r/out.mkv"), "something else"); }))
        << "the output was replaced";
    EXPECT_TRUE(staleAfter([] { fs::remove(here("r/out.mkv")); })) << "the output is gone";

    // A capture the job names, made again under the same name.
    writeText(here("r/out.mkv"), "output");
    writeText(here("r/a.job"), "VirtualDub.video.filters.Clear();\n"
                               "VirtualDub.video.filters.Add(\"" PENDRA_FILTER_NAME "\");\n"
                               "VirtualDub.video.filters.instance[0].Config(\"" +
                                   here("r/logo0.bmp").string() +
                                   "\",2, 1, 4, 4, 0, 0, 0, 0, 255, 0, 0, 230, 0, 10);\n");
    writeText(here("r/logo0.bmp"), "black");
    writeText(here("r/logo1.bmp"), "white");
    fs::remove(here("r/logo2.bmp"));
    EXPECT_TRUE(staleAfter([] { writeText(here("r/logo1.bmp"), "white, captured again"); }))
        << "a capture changed";
    // And one given with --logo, beside the manifest.
    writeText(here("r/list.csv"), "input,output,job,options\nin.mp4,out.mkv,,--logo logo0.bmp\n");
    EXPECT_TRUE(staleAfter([] { writeText(here("r/logo2.bmp"), "a mask, new"); }))
        << "a mask appeared";
    writeText(here("r/list.csv"), "input,output,job,options\nin.mp4,out.mkv,a.job,--crf 21\n");

    // Reordered rows keep their records: they follow the output.
    writeText(here("r/out.mkv"), "output");
    write();
    writeText(here("r/list.csv"), "input,output,job,options\nother.mp4,x.mkv,,\n"
                                  "in.mp4,out.mkv,a.job,--crf 21\n");
    Manifest m = readManifest(here("r/list.csv"));
    EXPECT_TRUE(currentRecord(m.stateFolder(), m.rows[1]).has_value());
    writeText(recordPath(m.stateFolder(), m.rows[1]), "{ damaged");
    EXPECT_FALSE(currentRecord(m.stateFolder(), m.rows[1]).has_value());
}

// A job may name its capture relative to the manifest's folder, where the
// worker runs: `batch status` or a submission from elsewhere must hash the
// same capture, or it would redo a finished row.
TEST(BatchManifest, RelativeCaptureFoundBesideTheManifest) {
    writeText(here("rel/in.mp4"), "input");
    writeText(here("rel/out.mkv"), "output");
    writeText(here("rel/logo0.bmp"), "black");
    writeText(here("rel/logo1.bmp"), "white");
    writeText(here("rel/a.job"), "VirtualDub.video.filters.Clear();\n"
                                 "VirtualDub.video.filters.Add(\"" PENDRA_FILTER_NAME "\");\n"
                                 "VirtualDub.video.filters.instance[0].Config(\"logo0.bmp\""
                                 ",2, 1, 4, 4, 0, 0, 0, 0, 255, 0, 0, 230, 0, 10);\n");
    writeText(here("rel/list.csv"), "input,output,job\nin.mp4,out.mkv,a.job\n");
    const fs::path before = fs::current_path();
    auto hashFrom = [&](const fs::path &folder) {
        fs::current_path(folder);
        std::optional<std::string> hash = settingsHash(readManifest(here("rel/list.csv")).rows[0]);
        fs::current_path(before);
        return hash.value_or("");
    };
    const std::string beside = hashFrom(here("rel"));
    EXPECT_EQ(hashFrom(fs::temp_directory_path()), beside);

    // Made again, the capture changes the hash, however the folder.
    Manifest m = readManifest(here("rel/list.csv"));
    RowRecord r;
    r.version = PENDRA_VERSION;
    r.settings = hashFrom(fs::temp_directory_path());
    r.input = *stampOf(m.rows[0].input);
    r.output = *stampOf(m.rows[0].output);
    makeStateFolders(m);
    writeRecord(recordPath(m.stateFolder(), m.rows[0]), r);
    EXPECT_TRUE(currentRecord(m.stateFolder(), m.rows[0]).has_value());
    writeText(here("rel/logo1.bmp"), "white, captured again");
    EXPECT_FALSE(currentRecord(m.stateFolder(), m.rows[0]).has_value()) << "a capture changed";
    EXPECT_NE(hashFrom(fs::temp_directory_path()), beside);
}

// A job the video host saved has no run-settings line: its noise and feather
// are the defaults file's, and so is every setting of a row without a job.
// Such rows' records go stale when the file changes; a row that gives them
// all does not depend on it.
TEST(BatchManifest, DefaultsFileCountsForRowsThatTakeSettingsFromIt) {
    const std::string call = "VirtualDub.video.filters.Clear();\n"
                             "VirtualDub.video.filters.Add(\"" PENDRA_FILTER_NAME "\");\n"
                             "VirtualDub.video.filters.instance[0].Config(\"logo0.bmp\""
                             ",2, 1, 4, 4, 0, 0, 0, 0, 255, 0, 0, 230, 0, 10);\n";
    writeText(here("dflt/host.job"), call);
    writeText(here("dflt/own.job"), call + "// pendra process: --feather 5 --noise 0\n");
    writeText(here("dflt/list.csv"), "input,output,job,options\n"
                                     "in.mp4,host.mkv,host.job,\n"
                                     "in.mp4,auto.mkv,,--logo logo0.bmp --x 1 --y 1\n"
                                     "in.mp4,half.mkv,host.job,--noise 1\n"
                                     "in.mp4,own.mkv,own.job,\n"
                                     "in.mp4,given.mkv,host.job,--noise 1 --feather 3\n");
    const fs::path ini = here("dflt/Pendra.ini");
    writeText(ini, "DEFAULT_NOISE_L\t2\n");
    const char *before = std::getenv("PENDRA_DEFAULTS_FILE");
    const std::optional<std::string> saved =
        before ? std::optional<std::string>(before) : std::nullopt;
    setenv("PENDRA_DEFAULTS_FILE", ini.c_str(), 1);
    auto hashes = [] {
        std::vector<std::string> all;
        for (const ManifestRow &row : readManifest(here("dflt/list.csv")).rows)
            all.push_back(settingsHash(row).value_or(""));
        return all;
    };
    const std::vector<std::string> first = hashes();
    // The same file named relative to the manifest's folder, where the worker
    // runs, asked from elsewhere.
    const fs::path cwd = fs::current_path();
    fs::current_path(fs::temp_directory_path());
    setenv("PENDRA_DEFAULTS_FILE", "Pendra.ini", 1);
    EXPECT_EQ(hashes(), first);
    fs::current_path(cwd);
    setenv("PENDRA_DEFAULTS_FILE", ini.c_str(), 1);

    writeText(ini, "DEFAULT_NOISE_L\t5\n");
    const std::vector<std::string> second = hashes();
    fs::remove(ini);
    const std::vector<std::string> none = hashes();
    if (saved)
        setenv("PENDRA_DEFAULTS_FILE", saved->c_str(), 1);
    else
        unsetenv("PENDRA_DEFAULTS_FILE");
    ASSERT_EQ(first.size(), 5u);
    for (size_t i : {0u, 1u, 2u}) {
        EXPECT_NE(first[i], second[i]) << "row " << i + 1 << " missed the defaults file's change";
        EXPECT_NE(second[i], none[i]) << "row " << i + 1 << " missed the defaults file's removal";
    }
    for (size_t i : {3u, 4u}) {
        EXPECT_EQ(first[i], second[i]) << "row " << i + 1 << " gives every run setting itself";
        EXPECT_EQ(first[i], none[i]) << "row " << i + 1 << " gives every run setting itself";
    }
}

// An output may have any name the file system takes, also one so long that
// the output's name with a few more characters would not fit: its record is
// written and found.
TEST(BatchManifest, RecordOfAnOutputWithALongName) {
    const std::string name = std::string(226, 'n') + ".mkv";
    ASSERT_EQ(name.size(), 230u);
    writeText(here("long/in.mp4"), "input");
    writeText(here("long/" + name), "output");
    writeText(here("long/list.csv"), "input,output\nin.mp4," + name + "\n");
    fs::remove_all(here("long/list-batch"));
    Manifest m = readManifest(here("long/list.csv"));
    const fs::path path = recordPath(m.stateFolder(), m.rows[0]);
    // Room for the temporary name it is written under, too.
    EXPECT_LE(path.filename().string().size(), 100u) << path;
    RowRecord r = currentFilesOf(m.rows[0]);
    makeStateFolders(m);
    ASSERT_NO_THROW(writeRecord(path, r));
    EXPECT_TRUE(currentRecord(m.stateFolder(), m.rows[0]).has_value());
    // Another output's record is another file.
    writeText(here("long/list.csv"), "input,output\nin.mp4," + name + "\nin.mp4,other.mkv\n");
    m = readManifest(here("long/list.csv"));
    EXPECT_NE(recordPath(m.stateFolder(), m.rows[0]), recordPath(m.stateFolder(), m.rows[1]));
}
