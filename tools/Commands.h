#pragma once
// The subcommands of the plotvane command. Each takes the arguments after
// its own name and returns the process's exit status: 0 on success, 1 when
// the work failed (the message is on stderr), 2 for a usage error. "--help"
// among the arguments prints the command's help on stdout and returns 0.

#include <span>
#include <string>

namespace plotvane {

// plotvane render FORM [COMPONENT] -o FILE [--set Prop=Value]...
// Renders one chart of the form to a .gif, .jpg/.jpeg, .png, .bmp, .svg, .pdf, .webp or .avif file.
int RunRender(std::span<const std::string> Args);

// plotvane props FORM [COMPONENT]
// Prints a component's published properties, one form line each.
int RunProps(std::span<const std::string> Args);

// plotvane write-form FORM -o FILE [--set Prop=Value]...
// Reads the form and writes it again, every property included.
int RunWriteForm(std::span<const std::string> Args);

// plotvane bench FORM [COMPONENT] --format gif|jpeg|png|bmp|svg|pdf --count N
// Times render + encode and prints the median, minimum and maximum.
int RunBench(std::span<const std::string> Args);

// plotvane serve FORM [options]
// Serves every chart of the form over HTTP as /<Name>.gif and /<Name>.jpg.
int RunServe(std::span<const std::string> Args);

// plotvane sign --key FILE [--expires SECONDS] URL
// Prints the URL signed for a server run with --sign-key.
int RunSign(std::span<const std::string> Args);

// plotvane design FORM [--port N] [--bind ADDRESS]
// Serves a page that edits the form, with a live preview of its charts.
int RunDesign(std::span<const std::string> Args);

// plotvane reference [--check FILE]
// Prints the form reference (docs/forms.md), or checks that FILE is it.
int RunReference(std::span<const std::string> Args);

// plotvane package-info [options]
// Describes the component package: identity, requirements, contents.
int RunPackageInfo(std::span<const std::string> Args);

}  // namespace plotvane
