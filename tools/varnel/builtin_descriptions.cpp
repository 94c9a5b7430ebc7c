#include "builtin_descriptions.h"

namespace varnel_tool {

const char kSwitchPowerType[] = "urn:schemas-upnp-org:service:SwitchPower:1";

const char kSwitchPowerDescription[] = R"scpd(<?xml version="1.0"?>
<scpd xmlns="urn:schemas-upnp-org:service-1-0">
  <specVersion><major>1</major><minor>0</minor></specVersion>
  <actionList>
    <action>
      <name>SetTarget</name>
      <argumentList>
        <argument><name>newTargetValue</name><direction>in</direction><relatedStateVariable>Target</relatedStateVariable></argument>
      </argumentList>
    </action>
    <action>
      <name>GetTarget</name>
      <argumentList>
        <argument><name>RetTargetValue</name><direction>out</direction><relatedStateVariable>Target</relatedStateVariable></argument>
      </argumentList>
    </action>
    <action>
      <name>GetStatus</name>
      <argumentList>
        <argument><name>ResultStatus</name><direction>out</direction><relatedStateVariable>Status</relatedStateVariable></argument>
      </argumentList>
    </action>
  </actionList>
  <serviceStateTable>
    <stateVariable sendEvents="no"><name>Target</name><dataType>boolean</dataType><defaultValue>0</defaultValue></stateVariable>
    <stateVariable sendEvents="yes"><name>Status</name><dataType>boolean</dataType><defaultValue>0</defaultValue></stateVariable>
  </serviceStateTable>
</scpd>
)scpd";

const char kDataTypesType[] = "urn:schemas-varnel-org:service:DataTypes:1";

const char kDataTypesDescription[] = R"scpd(<?xml version="1.0"?>
<scpd xmlns="urn:schemas-upnp-org:service-1-0">
  <specVersion><major>1</major><minor>0</minor></specVersion>
  <actionList>
    <action>
      <name>SetValues</name>
      <argumentList>
        <argument><name>ui1In</name><direction>in</direction><relatedStateVariable>V_ui1</relatedStateVariable></argument>
        <argument><name>ui2In</name><direction>in</direction><relatedStateVariable>V_ui2</relatedStateVariable></argument>
        <argument><name>ui4In</name><direction>in</direction><relatedStateVariable>V_ui4</relatedStateVariable></argument>
        <argument><name>ui8In</name><direction>in</direction><relatedStateVariable>V_ui8</relatedStateVariable></argument>
        <argument><name>i1In</name><direction>in</direction><relatedStateVariable>V_i1</relatedStateVariable></argument>
        <argument><name>i2In</name><direction>in</direction><relatedStateVariable>V_i2</relatedStateVariable></argument>
        <argument><name>i4In</name><direction>in</direction><relatedStateVariable>V_i4</relatedStateVariable></argument>
        <argument><name>i8In</name><direction>in</direction><relatedStateVariable>V_i8</relatedStateVariable></argument>
        <argument><name>intIn</name><direction>in</direction><relatedStateVariable>V_int</relatedStateVariable></argument>
        <argument><name>r4In</name><direction>in</direction><relatedStateVariable>V_r4</relatedStateVariable></argument>
        <argument><name>r8In</name><direction>in</direction><relatedStateVariable>V_r8</relatedStateVariable></argument>
        <argument><name>numberIn</name><direction>in</direction><relatedStateVariable>V_number</relatedStateVariable></argument>
        <argument><name>fixed_14_4In</name><direction>in</direction><relatedStateVariable>V_fixed_14_4</relatedStateVariable></argument>
        <argument><name>floatIn</name><direction>in</direction><relatedStateVariable>V_float</relatedStateVariable></argument>
        <argument><name>charIn</name><direction>in</direction><relatedStateVariable>V_char</relatedStateVariable></argument>
        <argument><name>stringIn</name><direction>in</direction><relatedStateVariable>V_string</relatedStateVariable></argument>
        <argument><name>dateIn</name><direction>in</direction><relatedStateVariable>V_date</relatedStateVariable></argument>
        <argument><name>dateTimeIn</name><direction>in</direction><relatedStateVariable>V_dateTime</relatedStateVariable></argument>
        <argument><name>dateTime_tzIn</name><direction>in</direction><relatedStateVariable>V_dateTime_tz</relatedStateVariable></argument>
        <argument><name>timeIn</name><direction>in</direction><relatedStateVariable>V_time</relatedStateVariable></argument>
        <argument><name>time_tzIn</name><direction>in</direction><relatedStateVariable>V_time_tz</relatedStateVariable></argument>
        <argument><name>booleanIn</name><direction>in</direction><relatedStateVariable>V_boolean</relatedStateVariable></argument>
        <argument><name>bin_base64In</name><direction>in</direction><relatedStateVariable>V_bin_base64</relatedStateVariable></argument>
        <argument><name>bin_hexIn</name><direction>in</direction><relatedStateVariable>V_bin_hex</relatedStateVariable></argument>
        <argument><name>uriIn</name><direction>in</direction><relatedStateVariable>V_uri</relatedStateVariable></argument>
        <argument><name>uuidIn</name><direction>in</direction><relatedStateVariable>V_uuid</relatedStateVariable></argument>
      </argumentList>
    </action>
    <action>
      <name>GetValues</name>
      <argumentList>
        <argument><name>ui1Out</name><direction>out</direction><relatedStateVariable>V_ui1</relatedStateVariable></argument>
        <argument><name>ui2Out</name><direction>out</direction><relatedStateVariable>V_ui2</relatedStateVariable></argument>
        <argument><name>ui4Out</name><direction>out</direction><relatedStateVariable>V_ui4</relatedStateVariable></argument>
        <argument><name>ui8Out</name><direction>out</direction><relatedStateVariable>V_ui8</relatedStateVariable></argument>
        <argument><name>i1Out</name><direction>out</direction><relatedStateVariable>V_i1</relatedStateVariable></argument>
        <argument><name>i2Out</name><direction>out</direction><relatedStateVariable>V_i2</relatedStateVariable></argument>
        <argument><name>i4Out</name><direction>out</direction><relatedStateVariable>V_i4</relatedStateVariable></argument>
        <argument><name>i8Out</name><direction>out</direction><relatedStateVariable>V_i8</relatedStateVariable></argument>
        <argument><name>intOut</name><direction>out</direction><relatedStateVariable>V_int</relatedStateVariable></argument>
        <argument><name>r4Out</name><direction>out</direction><relatedStateVariable>V_r4</relatedStateVariable></argument>
        <argument><name>r8Out</name><direction>out</direction><relatedStateVariable>V_r8</relatedStateVariable></argument>
        <argument><name>numberOut</name><direction>out</direction><relatedStateVariable>V_number</relatedStateVariable></argument>
        <argument><name>fixed_14_4Out</name><direction>out</direction><relatedStateVariable>V_fixed_14_4</relatedStateVariable></argument>
        <argument><name>floatOut</name><direction>out</direction><relatedStateVariable>V_float</relatedStateVariable></argument>
        <argument><name>charOut</name><direction>out</direction><relatedStateVariable>V_char</relatedStateVariable></argument>
        <argument><name>stringOut</name><direction>out</direction><relatedStateVariable>V_string</relatedStateVariable></argument>
        <argument><name>dateOut</name><direction>out</direction><relatedStateVariable>V_date</relatedStateVariable></argument>
        <argument><name>dateTimeOut</name><direction>out</direction><relatedStateVariable>V_dateTime</relatedStateVariable></argument>
        <argument><name>dateTime_tzOut</name><direction>out</direction><relatedStateVariable>V_dateTime_tz</relatedStateVariable></argument>
        <argument><name>timeOut</name><direction>out</direction><relatedStateVariable>V_time</relatedStateVariable></argument>
        <argument><name>time_tzOut</name><direction>out</direction><relatedStateVariable>V_time_tz</relatedStateVariable></argument>
        <argument><name>booleanOut</name><direction>out</direction><relatedStateVariable>V_boolean</relatedStateVariable></argument>
        <argument><name>bin_base64Out</name><direction>out</direction><relatedStateVariable>V_bin_base64</relatedStateVariable></argument>
        <argument><name>bin_hexOut</name><direction>out</direction><relatedStateVariable>V_bin_hex</relatedStateVariable></argument>
        <argument><name>uriOut</name><direction>out</direction><relatedStateVariable>V_uri</relatedStateVariable></argument>
        <argument><name>uuidOut</name><direction>out</direction><relatedStateVariable>V_uuid</relatedStateVariable></argument>
      </argumentList>
    </action>
    <action>
      <name>SetPercent</name>
      <argumentList>
        <argument><name>Percent</name><direction>in</direction><relatedStateVariable>Percent</relatedStateVariable></argument>
      </argumentList>
    </action>
  </actionList>
  <serviceStateTable>
    <stateVariable sendEvents="no"><name>V_ui1</name><dataType>ui1</dataType></stateVariable>
    <stateVariable sendEvents="no"><name>V_ui2</name><dataType>ui2</dataType></stateVariable>
    <stateVariable sendEvents="no"><name>V_ui4</name><dataType>ui4</dataType></stateVariable>
    <stateVariable sendEvents="no"><name>V_ui8</name><dataType>ui8</dataType></stateVariable>
    <stateVariable sendEvents="no"><name>V_i1</name><dataType>i1</dataType></stateVariable>
    <stateVariable sendEvents="no"><name>V_i2</name><dataType>i2</dataType></stateVariable>
    <stateVariable sendEvents="no"><name>V_i4</name><dataType>i4</dataType></stateVariable>
    <stateVariable sendEvents="no"><name>V_i8</name><dataType>i8</dataType></stateVariable>
    <stateVariable sendEvents="no"><name>V_int</name><dataType>int</dataType></stateVariable>
    <stateVariable sendEvents="no"><name>V_r4</name><dataType>r4</dataType></stateVariable>
    <stateVariable sendEvents="no"><name>V_r8</name><dataType>r8</dataType></stateVariable>
    <stateVariable sendEvents="no"><name>V_number</name><dataType>number</dataType></stateVariable>
    <stateVariable sendEvents="no"><name>V_fixed_14_4</name><dataType>fixed.14.4</dataType></stateVariable>
    <stateVariable sendEvents="no"><name>V_float</name><dataType>float</dataType></stateVariable>
    <stateVariable sendEvents="no"><name>V_char</name><dataType>char</dataType></stateVariable>
    <stateVariable sendEvents="no"><name>V_string</name><dataType>string</dataType></stateVariable>
    <stateVariable sendEvents="no"><name>V_date</name><dataType>date</dataType></stateVariable>
    <stateVariable sendEvents="no"><name>V_dateTime</name><dataType>dateTime</dataType></stateVariable>
    <stateVariable sendEvents="no"><name>V_dateTime_tz</name><dataType>dateTime.tz</dataType></stateVariable>
    <stateVariable sendEvents="no"><name>V_time</name><dataType>time</dataType></stateVariable>
    <stateVariable sendEvents="no"><name>V_time_tz</name><dataType>time.tz</dataType></stateVariable>
    <stateVariable sendEvents="no"><name>V_boolean</name><dataType>boolean</dataType></stateVariable>
    <stateVariable sendEvents="no"><name>V_bin_base64</name><dataType>bin.base64</dataType></stateVariable>
    <stateVariable sendEvents="no"><name>V_bin_hex</name><dataType>bin.hex</dataType></stateVariable>
    <stateVariable sendEvents="no"><name>V_uri</name><dataType>uri</dataType></stateVariable>
    <stateVariable sendEvents="no"><name>V_uuid</name><dataType>uuid</dataType></stateVariable>
    <stateVariable sendEvents="yes"><name>Percent</name><dataType>ui1</dataType><defaultValue>0</defaultValue>
      <allowedValueRange><minimum>0</minimum><maximum>100</maximum><step>1</step></allowedValueRange></stateVariable>
  </serviceStateTable>
</scpd>
)scpd";

const SampleValue kSampleValues[] = {
    {"ui1", "200"},
    {"ui2", "65000"},
    {"ui4", "4000000000"},
    {"ui8", "18000000000000000000"},
    {"i1", "-100"},
    {"i2", "-32000"},
    {"i4", "-2000000000"},
    {"i8", "-9000000000000000000"},
    {"int", "42"},
    {"r4", "3.25"},
    {"r8", "-1.5e10"},
    {"number", "123.456"},
    {"fixed.14.4", "1234.5678"},
    {"float", "0.5"},
    {"char", "x"},
    {"string", "Hello, world"},
    {"date", "2026-12-08"},
    {"dateTime", "2026-12-08T14:30:00"},
    {"dateTime.tz", "2026-12-08T14:30:00Z"},
    {"time", "14:30:15"},
    {"time.tz", "14:30:15Z"},
    {"boolean", "1"},
    {"bin.base64", "SGVsbG8="},
    {"bin.hex", "48656c6c6f"},
    {"uri", "http://device.local/icon.png"},
    {"uuid", "2fac1234-31f8-11b4-a222-08002b34c003"},
};
const unsigned kSampleValueCount = sizeof kSampleValues / sizeof kSampleValues[0];

}  // namespace varnel_tool
