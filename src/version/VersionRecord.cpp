// The program's version record. It travels inside the executable file in a section of its own
// ("orvex_version"), where VersionInfo finds it by reading the file, as any other tool could.
//
// Layout: a NUL-terminated header line, then NUL-terminated "name=value" entries, then an
// empty entry. "\VarFileInfo\Translation" lists language and code-page pairs as four-digit
// hexadecimal words; each string value is filed under "\StringFileInfo\<translation>\<name>".
//
// The linker would leave this object out of the program, since no code refers to the record;
// the version library's link options name the symbol as undefined so it is always pulled in.

extern "C" const char orvex_version_record[];

__attribute__((section("orvex_version"), used, retain, aligned(8)))
const char orvex_version_record[] =
    "ORVEX VERSION RECORD 1\0"
    "\\VarFileInfo\\Translation=0409 04b0\0"
    "\\StringFileInfo\\040904b0\\CompanyName=Orvex\0"
    "\\StringFileInfo\\040904b0\\FileDescription=Orvex address publisher\0"
    "\\StringFileInfo\\040904b0\\FileVersion=1.69d\0"
    "\\StringFileInfo\\040904b0\\InternalName=Orvex\0"
    "\\StringFileInfo\\040904b0\\OriginalFilename=Orvex.exe\0"
    "\\StringFileInfo\\040904b0\\ProductName=Orvex\0"
    "\\StringFileInfo\\040904b0\\ProductVersion=1.69d\0"
    "\0";
