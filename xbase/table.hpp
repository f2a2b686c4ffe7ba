#pragma once
// A DBF table with its structural CDX index and FPT memo file.
//
// Share modes and locks follow the conventions other xBase engines use on the same files:
// a shared open holds flock(LOCK_SH) on the .dbf, an exclusive open flock(LOCK_EX), both
// non-blocking; record, file and header (append) locks are open-file-description byte-range
// locks on the .dbf (FoxPro-compatible offsets); index changes happen under a write lock on
// byte 0x7FFFFFFE of the .cdx.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "xbase/codepage.hpp"
#include "xbase/error.hpp"
#include "xbase/field.hpp"
#include "xbase/keyexpr.hpp"

namespace xbase {

struct FieldSpec {
    std::string name;
    char type = 'C';
    int len = 0;
    int dec = 0;
};

struct TagSpec {
    std::string name;
    std::string key;
    std::string for_expr;
    bool unique = false;
    bool descending = false;

    TagSpec() = default;
    TagSpec(std::string n, std::string k, std::string f = {}, bool u = false, bool d = false)
        : name(std::move(n)), key(std::move(k)), for_expr(std::move(f)), unique(u), descending(d) {}
};

struct TagInfo {
    std::string name;      // upper case, as stored
    std::string key;       // expression text exactly as stored
    std::string for_expr;  // empty when the tag has no FOR condition
    bool unique = false;
    bool descending = false;
    KeyType keytype = KeyType::Char;
    int keylen = 0;
    bool compiled = false;  // false: the expression could not be compiled (navigation only)
    std::string compile_error;
};

struct OpenOptions {
    bool exclusive = false;
    bool read_only = false;
};

struct CreateOptions {
    uint8_t codepage_byte = 0x03;  // Windows-1252
};

class Table {
public:
    // Opens a table; `path` may omit ".dbf" and may differ in case from the file's name.
    // Throws BusyError when another process's open mode excludes this one, DamagedError
    // when a file does not add up, Error otherwise.
    static std::unique_ptr<Table> open(const std::string& path, OpenOptions opts = {});
    // Creates a table (refusing to overwrite an existing file) and its tags; the new table
    // is returned open exclusively.
    static std::unique_ptr<Table> create(const std::string& path, const std::vector<FieldSpec>& fields,
                                         const std::vector<TagSpec>& tags = {}, CreateOptions opts = {});

    ~Table();
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    void close();

    // Header facts.
    const std::string& path() const;
    const std::string& name() const;  // base name, upper case
    const std::string& cdx_path() const;  // empty when the table has no index file
    const std::string& memo_path() const;
    uint8_t version_byte() const;
    uint8_t flags_byte() const;
    uint8_t codepage_byte() const;
    CodePage codepage() const;
    uint32_t header_length() const;
    uint32_t record_length() const;
    uint32_t reccount();  // re-read from disk in shared mode
    bool exclusive() const;
    bool read_only() const;

    const std::vector<Field>& fields() const;
    int field_index(std::string_view name) const;  // -1 when absent
    const Field& field(std::string_view name) const;  // throws ValueError when absent

    // Tags, in the order stored in the index file (tag 1 = first created).
    size_t tag_count() const;
    const TagInfo& tag(size_t i) const;  // 0-based
    int find_tag(std::string_view name) const;  // 0-based, -1 when absent; case-insensitive
    void set_order(int tag);  // -1 = physical order
    void set_order(std::string_view tag_name);  // throws Error when absent
    int order() const;

    // Settings.
    void set_show_deleted(bool show);
    bool show_deleted() const;
    void set_filter(std::function<bool(Table&)> filter);  // empty function = no filter

    // Navigation. At end of file recno() is reccount() + 1 and eof() is true.
    void go_top();
    void go_bottom();
    void skip(long n = 1);
    void go_to(uint32_t recno);
    bool eof() const;
    bool bof() const;
    uint32_t recno() const;
    bool deleted() const;

    // Seek in the current tag. `key` is UTF-8 text for character tags (a key shorter than
    // the tag's seeks its prefix), for numeric tags a number in text, for date tags
    // "YYYYMMDD" or empty. Returns found; when not found the table is at end of file, or
    // with soft seek on the first key after it.
    bool seek(std::string_view key, bool soft = false);
    bool seek_number(double v, bool soft = false);
    bool seek_date(int32_t julian, bool soft = false);
    bool seek_raw(const uint8_t* key, size_t len, bool soft = false);  // key bytes as stored

    // Field values of the current record.
    std::string get_text(int field) const;  // C: padded text; M: memo text; N: trimmed digits; D: YYYYMMDD or ""; L: T/F
    double get_number(int field) const;
    int32_t get_date(int field) const;  // Julian day, 0 = empty
    bool get_logical(int field) const;
    std::string get_raw(int field) const;  // the stored bytes
    const uint8_t* record_buffer() const;

    // Changes to the current record; written when the record pointer moves, on commit()
    // and on close. In shared mode the record must be locked (or the file locked).
    void put_text(int field, std::string_view utf8);  // C and M fields
    void put_number(int field, double v);  // throws ValueError when it does not fit
    void put_date(int field, int32_t julian);
    void put_logical(int field, bool v);
    void put_value_text(int field, std::string_view text);  // by field type: parses numbers, YYYYMMDD dates, T/F

    void append_blank();  // appends under the header lock and locks the new record
    void delete_record();
    void recall();
    void flush();   // writes a pending record change
    void commit();  // flush + hand everything to the operating system

    // Locks (no-ops that succeed on exclusive opens). wait_ms < 0 waits forever.
    bool lock_record(uint32_t recno = 0, int wait_ms = 0);  // 0 = current record
    void unlock_record(uint32_t recno = 0);
    bool lock_file(int wait_ms = 0);
    void unlock_all();
    bool is_locked(uint32_t recno) const;

    // Whole-table operations (exclusive open required).
    void create_tag(const TagSpec& tag);
    void reindex();
    void pack();
    void zap();

    // Index consistency check: rebuilds every tag's key list from the records and compares
    // it with the index file. Returns one line per problem; empty when consistent.
    std::vector<std::string> check_indexes();

private:
    Table();
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace xbase
