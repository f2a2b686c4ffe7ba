#pragma once
// Compound index (CDX) files: a directory tree of tag names, and one B-tree per tag with
// compact (prefix/trailing-compressed) leaf pages and interior pages, 512-byte pages.
// Internal to the engine; Table is the public face.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace xbase {

class CdxFile {
public:
    // One tree: a tag, or the directory of tags (header at offset 0).
    struct Tree {
        std::string name;       // tag name, upper case
        uint32_t header = 0;    // offset of the 1024-byte tag header
        uint32_t root = 0;
        uint16_t keylen = 0;
        uint8_t options = 0;    // 0x01 unique, 0x08 FOR, 0x20 compact, 0x40 compound, 0x80 directory
        bool descending = false;
        std::string key;        // expression texts as stored (code-page bytes)
        std::string for_expr;
        uint8_t pad = ' ';      // trailing byte of compressed keys: blank for text keys, 0 otherwise
        uint32_t version = 0;
        bool dirty = false;     // header needs writing
        bool unique() const { return options & 0x01; }
    };

    struct Entry {
        const uint8_t* key;
        uint32_t recno;
    };

    // A position in a tree: a leaf page and an entry index in it.
    struct Cursor {
        uint32_t page = 0;
        int idx = -1;
        bool valid() const { return page != 0 && idx >= 0; }
    };

    static std::unique_ptr<CdxFile> open(const std::string& path, bool read_only, bool exclusive);
    static std::unique_ptr<CdxFile> create(const std::string& path, bool exclusive);
    ~CdxFile();

    const std::string& path() const { return path_; }
    std::vector<Tree>& tags() { return tags_; }
    bool exclusive() const { return exclusive_; }

    // Shared-mode coordination: a read section takes a read lock on the index lock byte,
    // a write section a write lock; both drop cached pages when another process has changed
    // the file since they were read. Sections nest. Returns true when the cache was dropped.
    bool begin_read();
    void end_read();
    bool begin_write();
    void end_write();  // writes dirty pages and headers, bumps the change counter
    uint32_t generation() const { return generation_; }
    // True when no process has changed the file since it was last read (reads the change
    // counter without locking: enough to trust pages already cached).
    bool unchanged() { return exclusive_ || read_counter() == counter_; }  // increments whenever the cache is dropped

    // Navigation within one tag (ascending order of key bytes, then record number).
    bool first(Tree& t, Cursor& c);
    bool last(Tree& t, Cursor& c);
    bool next(Tree& t, Cursor& c);
    bool prev(Tree& t, Cursor& c);
    // First entry whose first `len` key bytes are >= key (len <= keylen).
    bool lower_bound(Tree& t, const uint8_t* key, size_t len, Cursor& c);
    // First entry >= (key, recno) with the full key length.
    bool locate(Tree& t, const uint8_t* key, uint32_t recno, Cursor& c);
    const uint8_t* key_at(Tree& t, const Cursor& c);
    uint32_t recno_at(Tree& t, const Cursor& c);
    // Record number `ahead` entries away in the same page (negative: before), 0 past its ends.
    uint32_t recno_near(Tree& t, const Cursor& c, int ahead);

    void insert(Tree& t, const uint8_t* key, uint32_t recno);
    bool remove(Tree& t, const uint8_t* key, uint32_t recno);
    // Finds the entry with exactly this key (any record number); returns its record or 0.
    uint32_t find_key(Tree& t, const uint8_t* key);

    // Adds a tag with an empty tree (or bulk-built from entries sorted by key then record).
    Tree& add_tag(const std::string& name, const std::string& key, const std::string& for_expr,
                  bool unique, bool descending, uint16_t keylen, uint8_t pad,
                  const std::vector<Entry>& sorted = {});
    // Drops every tag and page: the file becomes an empty directory (in memory until end_write).
    void clear();

    // Structural check of one tag: page links, key order, separators. Fills `keys` with the
    // entries in index order (key bytes followed by record numbers). Returns problems.
    std::vector<std::string> check_tree(Tree& t, std::vector<std::pair<std::string, uint32_t>>& keys);

    void flush();  // writes dirty pages and headers (exclusive mode write-back)
    void sync();

    struct Node;  // a decoded page

    // Thrown by page access in cache-only mode when a page is not in memory.
    struct CacheMiss {};
    // In cache-only mode pages are never read from the file (a lock-free reader must not
    // read pages a writer may be rewriting).
    void set_cache_only(bool on) { cache_only_ = on; }

private:
    CdxFile() = default;
    void load_directory();
    bool edge(Tree& t, Cursor& c, bool first_entry);
    bool sync_with_file();
    void read_tree_header(Tree& t);
    void write_tree_header(Tree& t);
    Node& node(Tree& t, uint32_t off);
    Node& new_node(Tree& t, bool leaf);
    uint32_t alloc_page();
    void drop_cache();
    void write_node(Tree& t, Node& n, uint8_t* page);
    void descend(Tree& t, const uint8_t* key, size_t len, uint32_t recno, bool use_recno,
                 std::vector<std::pair<uint32_t, int>>& path);
    void fix_separators(Tree& t, std::vector<std::pair<uint32_t, int>>& path, size_t level);
    void split(Tree& t, std::vector<std::pair<uint32_t, int>>& path, size_t level, bool at_end);
    void remove_from_parent(Tree& t, std::vector<std::pair<uint32_t, int>>& path, size_t level);
    void build(Tree& t, const std::vector<Entry>& sorted);
    void write_directory();
    void lock(short type);
    void unlock();
    uint32_t read_counter();
    [[noreturn]] void damaged(const std::string& what) const;

    std::string path_;
    int fd_ = -1;
    bool read_only_ = false;
    bool exclusive_ = false;
    uint64_t file_size_ = 0;
    uint32_t counter_ = 0;     // change counter at directory header offset 8
    uint32_t generation_ = 0;
    int read_depth_ = 0;
    int write_depth_ = 0;
    bool cleared_ = false;
    bool dir_rebuild_ = false;
    bool cache_only_ = false;
    Tree dir_;
    std::vector<Tree> tags_;
    std::vector<std::unique_ptr<Node>> cache_;  // by page number
    std::unordered_map<uint32_t, std::array<uint8_t, 512>> read_ahead_;  // read, not yet decoded
    std::vector<std::pair<uint32_t, int>> walk_;  // reused descent path
    std::vector<uint32_t> dirty_;
};

}  // namespace xbase
