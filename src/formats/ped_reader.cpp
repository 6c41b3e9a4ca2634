#include "formats/ped_reader.hpp"

#include <string>

namespace varnex {

namespace {

// The words of a file, across line ends, with the rest of the current line at
// hand. Views stay valid until the next line is read.
class word_source {
 public:
  explicit word_source(input_file& input) : lines_(input) {}

  // Moves to the next non-blank character, reading lines as needed; false at
  // the end of the input.
  bool skip_blanks() {
    for (;;) {
      while (pos_ < line_.size() && is_blank(line_[pos_])) ++pos_;
      if (pos_ < line_.size()) return true;
      if (!lines_.next(line_)) return false;
      pos_ = 0;
    }
  }
  bool next_word(std::string_view& word) {
    if (!skip_blanks()) return false;
    word = word_rest();
    pos_ += word.size();
    return true;
  }
  // The unread text of the current word (after skip_blanks).
  std::string_view word_rest() const {
    std::size_t end = pos_;
    while (end < line_.size() && !is_blank(line_[end])) ++end;
    return line_.substr(pos_, end - pos_);
  }
  void consume(std::size_t n) { pos_ += n; }
  // The rest of the current line; the next read starts on the next line.
  std::string_view take_rest_of_line() {
    std::string_view rest = line_.substr(pos_);
    pos_ = line_.size();
    return rest;
  }
  std::uint64_t line_number() const { return lines_.line_number(); }

 private:
  line_reader lines_;
  std::string_view line_;
  std::size_t pos_ = 0;
};

}  // namespace

std::vector<map_snp> read_map_file(input_file& input, std::uint64_t* stopped_at_line) {
  std::vector<map_snp> snps;
  word_source words(input);
  if (stopped_at_line) *stopped_at_line = 0;
  std::string_view word;
  while (words.next_word(word)) {  // else the input ended between records
    std::uint64_t start_line = words.line_number();
    map_snp snp;
    snp.chromosome.assign(word);
    bool complete = false;
    if (words.next_word(word)) {
      snp.rs_id.assign(word);
      double distance = 0;
      std::size_t used = 0;
      // Distance and position are read as numbers from wherever the previous
      // word stopped, so "0 1000" and a stray "0.5x" behave like a stream.
      if (words.skip_blanks() && (used = parse_double_prefix(words.word_rest(), distance)) > 0) {
        words.consume(used);
        if (words.skip_blanks() && (used = parse_int32_prefix(words.word_rest(), snp.position)) > 0) {
          words.consume(used);
          complete = true;
        }
      }
    }
    if (!complete) {
      if (stopped_at_line) *stopped_at_line = start_line;
      break;
    }
    std::string_view rest = words.take_rest_of_line();
    std::size_t i = 0;
    while (i < rest.size() && is_blank(rest[i])) ++i;
    if (i < rest.size()) {
      snp.allele_a = rest[i++];
      while (i < rest.size() && is_blank(rest[i])) ++i;
      if (i < rest.size()) snp.allele_b = rest[i];
    }
    snps.push_back(std::move(snp));
  }
  return snps;
}

std::uint64_t allele_cursor::remaining() const {
  std::uint64_t n = 0;
  for (const char* p = p_; p != end_; ++p)
    if (!is_blank(*p)) ++n;
  return n;
}

ped_line read_ped_line(std::string_view line) {
  ped_line result;
  field_cursor cursor(line);
  std::string_view words[6];
  while (result.fields < 6 && cursor.next(words[result.fields])) ++result.fields;
  result.family_id = words[0];
  result.individual_id = words[1];
  result.sex = leading_int32(words[4]);
  result.phenotype = words[5];
  if (result.fields == 6) result.alleles = allele_cursor(cursor.rest());
  return result;
}

bool is_blank_line(std::string_view line) {
  for (char c : line)
    if (!is_blank(c)) return false;
  return true;
}

}  // namespace varnex
