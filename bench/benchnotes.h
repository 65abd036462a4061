#pragma once

#include <QString>

#include <vector>

// Shared by the document and editor benchmarks.

// A generated note of about targetBytes of compact Delta JSON, always the
// same for one size: headings, paragraphs with inline formats, lists,
// checklists, code, quotes, dividers, attachments and small tables.
QString generateBenchNote(qsizetype targetBytes);

struct BenchFigures
{
    double median = 0;
    double p95 = 0;
};

BenchFigures summarize(std::vector<double> samples);
