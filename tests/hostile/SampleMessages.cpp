#include "SampleMessages.hpp"

namespace hostile {

namespace {

std::string root(const char* name, const std::string& body, const char* attributes = "")
{
    return std::string("<wi:") + name + declarations() + attributes + ">" + body + "</wi:" + name + ">";
}

const char* const kServiceData = R"(<ServiceData>
  <base:created uid="c1"/><base:created uid="c2"/>
  <base:updated uid="u1"/>
  <base:deleted uid="d1"/>
  <base:partialErrors uid="e1" code="214001" level="3" message="failed &lt;here&gt; &amp; there"/>
</ServiceData>)";

} // namespace

std::string createInputBody()
{
    return R"(
  <wi:stringProps key="name" value="Drill &amp; tap &#9;&#10;"/>
  <wi:stringArrayProps key="notes"><wi:value>first</wi:value><wi:value></wi:value><wi:value>&lt;third&gt;</wi:value></wi:stringArrayProps>
  <wi:doubleProps key="torque" value="12.5"/>
  <wi:doubleArrayProps key="limits"><wi:value>-1E3</wi:value><wi:value>INF</wi:value><wi:value>4.9e-324</wi:value></wi:doubleArrayProps>
  <wi:floatProps key="ratio" value="0.25"/>
  <wi:floatArrayProps key="ratios"><wi:value>1.5</wi:value><wi:value>-0</wi:value><wi:value>NaN</wi:value></wi:floatArrayProps>
  <wi:intProps key="count" value="-2147483648"/>
  <wi:intArrayProps key="counts"><wi:value>1</wi:value><wi:value> 2147483647 </wi:value></wi:intArrayProps>
  <wi:boolProps key="checked" value="true"/>
  <wi:boolArrayProps key="flags"><wi:value>0</wi:value><wi:value>true</wi:value></wi:boolArrayProps>
  <wi:dateProps key="due" value="2010-09-01T08:30:00.25Z"/>
  <wi:dateArrayProps key="shifts"><wi:value>2010-09-01T06:00:00+02:00</wi:value><wi:value>2012-02-29T24:00:00</wi:value></wi:dateArrayProps>
  <wi:tagProps key="tool"><wi:value uid="QGx9AAAA"/></wi:tagProps>
  <wi:tagArrayProps key="parts"><wi:value uid="a1"/><wi:value uid="a2"/></wi:tagArrayProps>
  <wi:compoundCreateInput key="children">
    <wi:value type="Mes0Sub"><wi:intProps key="n" value="1"/></wi:value>
    <wi:value type="Mes0Sub"><wi:compoundCreateInput key="grandchildren"><wi:value type="leaf"/></wi:compoundCreateInput></wi:value>
  </wi:compoundCreateInput>
)";
}

std::string CreateInputSample::document()
{
    return root(name, createInputBody(), " type=\"Mes0Step\"");
}

std::string LoadRequestSample::document()
{
    return root(name, R"(
  <wi:loadedInfo><wi:targetContext uid="ctx1"/><wi:targetObject uid="obj1"/></wi:loadedInfo>
  <wi:loadedInfo><wi:targetContext uid=""/><wi:targetObject uid="obj2"/></wi:loadedInfo>
)");
}

std::string LoadResponseSample::document()
{
    return root(name, R"(
  <wi:loadedObjects workInstructionFile="line-4.wi" topObjectDisplayName="Top &amp; more" targetObjectTransientId="t1">
    <wi:targetContext uid="ctx"/><wi:targetObject uid="obj"/>
    <wi:loadedDCDs transientId="d1" objectType="Mes0DCD" persistentId="p1" owningObjectTransientId="t1">
      <wi:objectData type="Mes0DCD">)" + createInputBody() + R"(</wi:objectData>
    </wi:loadedDCDs>
    <wi:loadedPFs transientId="f1" objectType="Mes0PF" persistentId="" owningObjectTransientId="t1">
      <wi:objectData type="Mes0PF"><wi:boolProps key="b" value="false"/></wi:objectData>
    </wi:loadedPFs>
    <wi:symbols uid="s1"/><wi:symbols uid="s2"/>
    <wi:loadedSTXs transientId="x1" workInstructionFile="text.wi"><wi:stxObjectData uid="stx"/><wi:symbols uid="s3"/></wi:loadedSTXs>
  </wi:loadedObjects>
  <wi:loadedObjects workInstructionFile="empty.wi" topObjectDisplayName="" targetObjectTransientId=""/>
)" + kServiceData);
}

std::string SaveRequestSample::document()
{
    return root(name, R"(
  <wi:savedObjects workInstructionFile="line-4.wi">
    <wi:targetObject uid="QGx9AAAA"/>
    <wi:modifiedDCDs transientId="dcd-1" persistentId="p1" owningObjectTransientId="o1">
      <wi:objectData type="Mes0DCD">)" + createInputBody() + R"(</wi:objectData>
    </wi:modifiedDCDs>
    <wi:modifiedPFs transientId="pf-1" persistentId="" owningObjectTransientId="o1">
      <wi:objectData type="Mes0PF"><wi:stringProps key="s" value="v"/></wi:objectData>
    </wi:modifiedPFs>
    <wi:symbols uid="sym1"/><wi:symbols uid="sym2"/>
    <wi:modifiedSTXs transientId="stx-1"><wi:stxObjectData uid="stx"/></wi:modifiedSTXs>
  </wi:savedObjects>
  <wi:savedObjects workInstructionFile="second.wi"><wi:targetObject uid="B"/></wi:savedObjects>
)");
}

std::string SaveResponseSample::document()
{
    return root(name, kServiceData);
}

} // namespace hostile
