#include "sqlite_format/record_source.h"

namespace {

const record_source kSources[] = {
    {kSourceSqliteLib, "sqlite lib", source_file::main_db},
    {kSourceMainSlack, "main db slack", source_file::main_db},
    {kSourceCarveMain, "carve main", source_file::main_db},
    {kSourceCarveBlob, "carve blob", source_file::loose},
    {kSourceWalOverwrites, "main db page to be overwritten from wal", source_file::main_db},
    {kSourceWalSuperseded, "wal file page superceded by new page", source_file::wal},
    {kSourceWalSlack, "wal file slack in valid page", source_file::wal},
    {kSourceWalValid, "wal file valid page", source_file::wal},
    {kSourceCarveWal, "carve wal", source_file::wal},
    {kSourceCarveJournal, "carve journal", source_file::journal},
    {kSourceCarveMainFromWal, "carve main from wal data", source_file::main_db},
};

const record_source kNoSource = {0, "", source_file::none};

}  // namespace

const record_source& record_source_of(unsigned code) {
    for (const record_source& s : kSources)
        if (s.code == code) return s;
    return kNoSource;
}

std::string record_source_label(unsigned code) { return record_source_of(code).label; }

bool source_in_main_db(unsigned code) { return record_source_of(code).file == source_file::main_db; }

bool source_in_wal(unsigned code) { return record_source_of(code).file == source_file::wal; }
