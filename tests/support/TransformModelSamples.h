// A transformation model of a dozen derived fields that uses every kind of
// expression the component's model reader handles, and the same arithmetic
// written out in C++, for the scorer's tests and benchmark.
#ifndef KVO_TESTS_SUPPORT_TRANSFORMMODELSAMPLES_H
#define KVO_TESTS_SUPPORT_TRANSFORMMODELSAMPLES_H

#include <array>
#include <cmath>
#include <limits>
#include <string>

namespace kvotest {

// Inputs: age, income, score (numbers), region (string; "none" is declared
// missing). Outputs, in order, as computed by DozenFieldExpected.
inline const std::string DOZEN_FIELD_MODEL = R"(<?xml version="1.0" encoding="UTF-8"?>
<PMML version="4.4" xmlns="http://www.dmg.org/PMML-4_4">
  <Header description="a dozen derived fields"/>
  <DataDictionary numberOfFields="4">
    <DataField name="age" optype="continuous" dataType="double"/>
    <DataField name="income" optype="continuous" dataType="double"/>
    <DataField name="score" optype="continuous" dataType="double"/>
    <DataField name="region" optype="categorical" dataType="string">
      <Value value="none" property="missing"/>
    </DataField>
  </DataDictionary>
  <TransformationDictionary>
    <DerivedField name="logIncome" optype="continuous" dataType="double">
      <Apply function="ln" invalidValueTreatment="asMissing"><FieldRef field="income"/></Apply>
    </DerivedField>
    <DerivedField name="perYear" optype="continuous" dataType="double">
      <Apply function="/" invalidValueTreatment="asMissing"><FieldRef field="income"/><FieldRef field="age"/></Apply>
    </DerivedField>
    <DerivedField name="agePow" optype="continuous" dataType="double">
      <Apply function="pow">
        <Apply function="/"><FieldRef field="age"/><Constant>10</Constant></Apply>
        <Constant dataType="double">2</Constant>
      </Apply>
    </DerivedField>
    <DerivedField name="total" optype="continuous" dataType="double">
      <Apply function="sum"><FieldRef field="age"/><FieldRef field="score"/><Constant>5</Constant></Apply>
    </DerivedField>
    <DerivedField name="rich" optype="categorical" dataType="boolean">
      <Apply function="if" mapMissingTo="-1">
        <Apply function="and">
          <Apply function="greaterThan"><FieldRef field="income"/><Constant>50000</Constant></Apply>
          <Apply function="isNotMissing"><FieldRef field="score"/></Apply>
        </Apply>
        <Constant>1</Constant>
        <Constant>0</Constant>
      </Apply>
    </DerivedField>
    <DerivedField name="normAge" optype="continuous" dataType="double">
      <NormContinuous field="age" outliers="asExtremeValues" mapMissingTo="0.5">
        <LinearNorm orig="0" norm="0"/>
        <LinearNorm orig="40" norm="0.5"/>
        <LinearNorm orig="100" norm="1"/>
      </NormContinuous>
    </DerivedField>
    <DerivedField name="isNorth" optype="continuous" dataType="double">
      <NormDiscrete field="region" value="north"/>
    </DerivedField>
    <DerivedField name="ageBand" optype="ordinal" dataType="integer">
      <Discretize field="age" mapMissingTo="0">
        <DiscretizeBin binValue="1"><Interval closure="openOpen" rightMargin="30"/></DiscretizeBin>
        <DiscretizeBin binValue="2"><Interval closure="closedOpen" leftMargin="30" rightMargin="60"/></DiscretizeBin>
        <DiscretizeBin binValue="3"><Interval closure="closedOpen" leftMargin="60"/></DiscretizeBin>
      </Discretize>
    </DerivedField>
    <DerivedField name="regionCode" optype="categorical" dataType="integer">
      <MapValues outputColumn="code" defaultValue="0" mapMissingTo="-1">
        <FieldColumnPair field="region" column="name"/>
        <InlineTable>
          <row><name>north</name><code>1</code></row>
          <row><name>south</name><code>2</code></row>
          <row><name>east</name><code>3</code></row>
        </InlineTable>
      </MapValues>
    </DerivedField>
    <DerivedField name="scaled" optype="continuous" dataType="double">
      <Apply function="/" mapMissingTo="0">
        <Apply function="-"><FieldRef field="score"/><Constant>50</Constant></Apply>
        <Constant>10</Constant>
      </Apply>
    </DerivedField>
    <DerivedField name="combo" optype="continuous" dataType="double">
      <Apply function="+">
        <Apply function="*"><FieldRef field="regionCode"/><Constant>10</Constant></Apply>
        <FieldRef field="ageBand"/>
      </Apply>
    </DerivedField>
    <DerivedField name="edge" optype="continuous" dataType="double">
      <Apply function="if" defaultValue="-9">
        <Apply function="isIn"><FieldRef field="ageBand"/><Array n="2" type="int">1 3</Array></Apply>
        <Apply function="round">
          <Apply function="*">
            <Apply function="sqrt" invalidValueTreatment="asMissing"><FieldRef field="score"/></Apply>
            <Constant>10</Constant>
          </Apply>
        </Apply>
        <Apply function="max"><Apply function="abs"><FieldRef field="scaled"/></Apply><Constant>1</Constant></Apply>
      </Apply>
    </DerivedField>
  </TransformationDictionary>
</PMML>
)";

inline constexpr int DOZEN_FIELD_OUTPUTS = 12;

// The twelve outputs for one case, written out by hand. Missing inputs are
// the system-missing value; `region` is the trimmed text.
inline std::array<double, DOZEN_FIELD_OUTPUTS> DozenFieldExpected(double age, double income, double score,
                                                                  const std::string& region) {
  constexpr double MISSING = -std::numeric_limits<double>::max();
  const bool hasAge = age != MISSING, hasIncome = income != MISSING, hasScore = score != MISSING;
  const bool hasRegion = region != "none";
  std::array<double, DOZEN_FIELD_OUTPUTS> out{};
  out[0] = hasIncome && income > 0 ? std::log(income) : MISSING;
  out[1] = hasIncome && hasAge && age != 0 ? income / age : MISSING;
  out[2] = hasAge ? (age / 10) * (age / 10) : MISSING;
  out[3] = (hasAge ? age : 0) + (hasScore ? score : 0) + 5;
  // and(income > 50000, score present): false decides, else missing income
  // leaves it missing, which the if maps to -1.
  if (hasIncome) {
    out[4] = income > 50000 && hasScore ? 1 : 0;
  } else {
    out[4] = hasScore ? -1 : 0;
  }
  if (!hasAge) {
    out[5] = 0.5;
  } else if (age <= 0) {
    out[5] = 0;
  } else if (age <= 40) {
    out[5] = age / 80;
  } else if (age <= 100) {
    out[5] = 0.5 + (age - 40) / 120;
  } else {
    out[5] = 1;
  }
  out[6] = hasRegion ? (region == "north" ? 1 : 0) : MISSING;
  out[7] = !hasAge ? 0 : (age < 30 ? 1 : (age < 60 ? 2 : 3));
  out[8] = !hasRegion ? -1 : region == "north" ? 1 : region == "south" ? 2 : region == "east" ? 3 : 0;
  out[9] = hasScore ? (score - 50) / 10 : 0;
  out[10] = out[8] * 10 + out[7];
  if (out[7] == 1 || out[7] == 3) {
    out[11] = hasScore && score >= 0 ? std::floor(std::sqrt(score) * 10 + 0.5) : -9;
  } else {
    out[11] = std::max(std::fabs(out[9]), 1.0);
  }
  return out;
}

}  // namespace kvotest

#endif  // KVO_TESTS_SUPPORT_TRANSFORMMODELSAMPLES_H
