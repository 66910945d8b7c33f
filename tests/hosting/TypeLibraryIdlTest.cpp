// The type library is described twice: as the member table that the Linux build's type
// information reads, and as hosting/Kemrin_Quillax.idl, which the Windows build compiles
// into its TYPELIB resource. This test writes the IDL from the member table and holds it
// against the committed file, so that neither can change without the other.
//
// To write the IDL anew after a deliberate change of the member table:
//   QUILLAX_WRITE_IDL=1 build/bin/hosting_tests --gtest_filter='TypeLibraryIdl.*'
#include "hosting/Kemrin_Quillax_TLBTable.h"
#include "platform/AnsiCodePage.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

using namespace quillax;

namespace {

// The seven slots of IUnknown and IDispatch come before a dual interface's own members,
// and the slots of the interfaces it derives from before those.
UINT FirstOwnSlot(const InterfaceDescription& d) {
    UINT slot = 7;
    for (const InterfaceDescription* base = d.base; base != nullptr; base = base->base)
        slot += base->members.cMembers;
    return slot;
}

std::string Narrow(const OLECHAR* text) {
    return text ? WideToAnsi(OleStringView(text)) : std::string();
}

// "651DA609-F03C-46AC-BA79-9A7E47FD512E": the braced form without its braces.
std::string Uuid(REFGUID guid) {
    const std::string braced = GuidToString(guid);
    return braced.substr(1, braced.size() - 2);
}

std::string Version(WORD major, WORD minor) {
    return std::to_string(major) + "." + std::to_string(minor);
}

// The IDL name of a parameter's type (a pointer for an output).
std::string TypeName(VARTYPE vt) {
    std::string name;
    switch (vt & ~VT_BYREF) {
    case VT_BSTR:
        name = "BSTR";
        break;
    case VT_I4:
        name = "long";
        break;
    case VT_INT:
        name = "int";
        break;
    case VT_BOOL:
        name = "VARIANT_BOOL";
        break;
    case VT_R8:
        name = "double";
        break;
    case VT_UNKNOWN:
        name = "IUnknown*";
        break;
    default:
        throw std::invalid_argument("no IDL name for type " + std::to_string(vt));
    }
    return (vt & VT_BYREF) ? name + "*" : name;
}

// One member: "[propget, id(204)] HRESULT ImageTypeStr([out, retval] BSTR* Value);".
std::string MemberLine(const METHODDATA& m) {
    if (m.cc != CC_STDCALL || m.vtReturn != VT_HRESULT)
        throw std::invalid_argument(Narrow(m.szName) +
                                    " is not a stdcall member returning HRESULT");
    std::string kind;
    if (m.wFlags == DISPATCH_PROPERTYGET) {
        kind = "propget, ";
    } else if (m.wFlags == DISPATCH_PROPERTYPUT) {
        kind = "propput, ";
    } else if (m.wFlags != DISPATCH_METHOD) {
        throw std::invalid_argument(Narrow(m.szName) + " has invoke flags the IDL cannot state");
    }
    std::string line =
        "[" + kind + "id(" + std::to_string(m.dispid) + ")] HRESULT " + Narrow(m.szName) + "(";
    for (UINT i = 0; i < m.cArgs; ++i) {
        const PARAMDATA& p = m.ppdata[i];
        const bool output = (p.vt & VT_BYREF) != 0;
        const bool retval = output && m.wFlags == DISPATCH_PROPERTYGET && i + 1 == m.cArgs;
        const std::string name = Narrow(p.szName);
        line += std::string(i ? ", " : "") +
                (retval   ? "[out, retval] "
                 : output ? "[out] "
                          : "[in] ") +
                TypeName(p.vt) + (name.empty() ? "" : " " + name);
    }
    return line + ");";
}

std::string InterfaceBlock(const InterfaceDescription& d) {
    constexpr WORD dual = TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE;
    if ((d.typeFlags & ~(dual | TYPEFLAG_FOLEAUTOMATION)) != 0 || (d.typeFlags & dual) != dual)
        throw std::invalid_argument(Narrow(d.name) + ": only dual interfaces are written");
    std::ostringstream out;
    out << "  [\n"
        << "    uuid(" << Uuid(d.iid) << "),\n"
        << "    version(" << Version(d.majorVersion, d.minorVersion) << "),\n"
        << "    helpstring(\"" << Narrow(d.helpString) << "\"),\n"
        << "    dual" << ((d.typeFlags & TYPEFLAG_FOLEAUTOMATION) ? ",\n    oleautomation" : "")
        << "\n  ]\n"
        << "  interface " << Narrow(d.name) << " : "
        << (d.base != nullptr ? Narrow(d.base->name) : "IDispatch") << "\n"
        << "  {\n";
    for (UINT i = 0; i < d.members.cMembers; ++i) {
        const METHODDATA& m = d.members.pmethdata[i];
        // The IDL's order is the function table's.
        if (m.iMeth != FirstOwnSlot(d) + i)
            throw std::invalid_argument(Narrow(m.szName) + " is out of function-table order");
        out << "    " << MemberLine(m) << "\n";
    }
    out << "  };\n";
    return out.str();
}

std::string CoClassBlock(const CoClassDescription& c) {
    std::ostringstream out;
    out << "  [\n"
        << "    uuid(" << Uuid(c.clsid) << "),\n"
        << "    version(" << Version(c.majorVersion, c.minorVersion) << "),\n"
        << "    helpstring(\"" << Narrow(c.helpString) << "\")"
        << ((c.typeFlags & TYPEFLAG_FCANCREATE) ? "" : ",\n    noncreatable") << "\n  ]\n"
        << "  coclass " << Narrow(c.name) << "\n"
        << "  {\n"
        << "    [default] interface " << Narrow(c.defaultInterface->name) << ";\n"
        << "  };\n";
    return out.str();
}

std::string LibraryIdl(const TypeLibDescription& lib) {
    std::ostringstream out;
    out << "// The type library of the component, compiled by widl into the Windows build's type\n"
           "// library resource 1. The Linux build carries the same library as the member table\n"
           "// of Kemrin_Quillax_TLB.cpp; tests/hosting/TypeLibraryIdlTest.cpp writes this file\n"
           "// from that table and fails while the two differ.\n"
           "import \"oaidl.idl\";\n\n"
        << "[\n"
        << "  uuid(" << Uuid(lib.libid) << "),\n"
        << "  version(" << Version(lib.majorVersion, lib.minorVersion) << "),\n"
        << "  lcid(" << lib.lcid << "),\n"
        << "  helpstring(\"" << Narrow(lib.helpString) << "\")\n"
        << "]\n"
        << "library " << Narrow(lib.name) << "\n"
        << "{\n"
        << "  importlib(\"stdole2.tlb\");\n";
    for (UINT i = 0; i < lib.interfaceCount; ++i)
        out << "\n" << InterfaceBlock(*lib.interfaces[i]);
    for (UINT i = 0; i < lib.coclassCount; ++i)
        out << "\n" << CoClassBlock(*lib.coclasses[i]);
    out << "};\n";
    return out.str();
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

TEST(TypeLibraryIdl, TheIdlIsTheMemberTable) {
    const std::string written = LibraryIdl(Kemrin_QuillaxDescription);
    if (std::getenv("QUILLAX_WRITE_IDL")) {
        std::ofstream(QUILLAX_IDL_PATH, std::ios::binary) << written;
        GTEST_SKIP() << "wrote " << QUILLAX_IDL_PATH;
    }
    const std::string committed = ReadFile(QUILLAX_IDL_PATH);
    ASSERT_FALSE(committed.empty()) << "cannot read " << QUILLAX_IDL_PATH;
    EXPECT_EQ(committed, written) << "the member table and " << QUILLAX_IDL_PATH
                                  << " differ; after a deliberate change, write the IDL anew";
}

// The Windows build compiles the IDL for 32-bit Windows (widl --win32), as the table says. The
// classic interface comes first (an IDL names only what it has declared), and the class's
// default interface extends it.
TEST(TypeLibraryIdl, TheTableIsAWin32LibraryWhoseClassDefaultsToTheExtendedInterface) {
    EXPECT_EQ(Kemrin_QuillaxDescription.syskind, SYS_WIN32);
    ASSERT_EQ(Kemrin_QuillaxDescription.interfaceCount, 2u);
    ASSERT_EQ(Kemrin_QuillaxDescription.coclassCount, 1u);
    const InterfaceDescription* classic = Kemrin_QuillaxDescription.interfaces[0];
    const InterfaceDescription* extended = Kemrin_QuillaxDescription.interfaces[1];
    EXPECT_EQ(nullptr, classic->base);
    EXPECT_EQ(classic, extended->base);
    EXPECT_EQ(Kemrin_QuillaxDescription.coclasses[0]->defaultInterface, extended);
}
