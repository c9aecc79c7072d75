//! Two C entry points over encoding_rs for converter_throughput: decode a legacy text to UTF-8
//! and encode UTF-8 into a legacy encoding, the whole text in one call, into a buffer the
//! caller owns (so that its allocation is not timed here, as for the other peers).
//!
//! Both return the number of bytes written, or a negative code: -1 for a label encoding_rs does
//! not know, -2 when the buffer was too small. Malformed input becomes U+FFFD (decoding) and a
//! character the target lacks becomes a decimal character reference (encoding), as Firefox
//! does for pages and form submissions. `replaced` (may be null) tells whether that happened.

use encoding_rs::{CoderResult, Encoding};
use std::os::raw::{c_char, c_int};
use std::{ffi::CStr, slice, str};

unsafe fn encoding_of(label: *const c_char) -> Option<&'static Encoding> {
    Encoding::for_label(CStr::from_ptr(label).to_bytes())
}

/// # Safety
/// `label` is a NUL-terminated string; `src` holds `src_len` bytes and `dst` room for
/// `dst_cap` bytes; `replaced` is null or points to an int.
#[no_mangle]
pub unsafe extern "C" fn sarnavel_bench_decode_to_utf8(
    label: *const c_char,
    src: *const u8,
    src_len: usize,
    dst: *mut u8,
    dst_cap: usize,
    replaced: *mut c_int,
) -> isize {
    let encoding = match encoding_of(label) {
        Some(e) => e,
        None => return -1,
    };
    let input = slice::from_raw_parts(src, src_len);
    let output = slice::from_raw_parts_mut(dst, dst_cap);
    let mut decoder = encoding.new_decoder_without_bom_handling();
    let (result, _read, written, had_replacements) = decoder.decode_to_utf8(input, output, true);
    if !replaced.is_null() {
        *replaced = had_replacements as c_int;
    }
    match result {
        CoderResult::InputEmpty => written as isize,
        CoderResult::OutputFull => -2,
    }
}

/// # Safety
/// As for `sarnavel_bench_decode_to_utf8`; `src` must be valid UTF-8 (-3 otherwise).
#[no_mangle]
pub unsafe extern "C" fn sarnavel_bench_encode_from_utf8(
    label: *const c_char,
    src: *const u8,
    src_len: usize,
    dst: *mut u8,
    dst_cap: usize,
    replaced: *mut c_int,
) -> isize {
    let encoding = match encoding_of(label) {
        Some(e) => e,
        None => return -1,
    };
    let input = match str::from_utf8(slice::from_raw_parts(src, src_len)) {
        Ok(s) => s,
        Err(_) => return -3,
    };
    let output = slice::from_raw_parts_mut(dst, dst_cap);
    let mut encoder = encoding.new_encoder();
    let (result, _read, written, had_replacements) = encoder.encode_from_utf8(input, output, true);
    if !replaced.is_null() {
        *replaced = had_replacements as c_int;
    }
    match result {
        CoderResult::InputEmpty => written as isize,
        CoderResult::OutputFull => -2,
    }
}

/// Which build this is: "firefox" (the features Firefox turns on) or "fast-kanji-encode".
#[no_mangle]
pub extern "C" fn sarnavel_bench_variant() -> *const c_char {
    if cfg!(feature = "fast-kanji-encode") {
        b"fast-kanji-encode\0".as_ptr() as *const c_char
    } else {
        b"firefox\0".as_ptr() as *const c_char
    }
}
