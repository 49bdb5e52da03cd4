#include "engine/statements/files.h"
#include "engine/texts.h"

namespace {
const PropertyList* textFileProps()
{
    static const PropertyList list = [] {
        PropertyList l = TIVRBase::commonProperties();
        l.push_back(props::mainLink("FileName"));
        l.push_back(props::link<&IVRTextFile::WriteText>("WriteText"));
        l.push_back(props::boolean<&IVRTextFile::WriteLine>("WriteLine", true));
        return l;
    }();
    return &list;
}

const PropertyList* initFileProps()
{
    static const PropertyList list = [] {
        PropertyList l = TIVRBase::commonProperties();
        l.push_back(props::mainLink("FileName"));
        l.push_back(props::link<&IVRInitFile::Section>("Section"));
        l.push_back(props::link<&IVRInitFile::Key>("Key"));
        l.push_back(props::link<&IVRInitFile::Value>("Value"));
        l.push_back(props::link<&IVRInitFile::Default>("Default"));
        l.push_back(props::boolean<&IVRInitFile::Read>("Read", true));
        return l;
    }();
    return &list;
}

const PropertyList* executeProps()
{
    static const PropertyList list = [] {
        PropertyList l = TIVRBase::commonProperties();
        l.push_back(props::mainLink("CommandLine"));
        l.push_back(props::integer<&IVRExecute::TimeOut>("TimeOut", true));
        l.push_back(props::boolean<&IVRExecute::Terminate>("Terminate", true));
        return l;
    }();
    return &list;
}
}  // namespace

SORVIX_DEFINE_CLASS(IVRTextFile, txt::tnTextFile, OperateTypeSet, 2, textFileProps);
SORVIX_DEFINE_CLASS(IVRInitFile, txt::tnInitFile, OperateTypeSet, 2, initFileProps);
SORVIX_DEFINE_CLASS(IVRExecute, txt::tnExecute, OperateTypeSet, 2, executeProps);
