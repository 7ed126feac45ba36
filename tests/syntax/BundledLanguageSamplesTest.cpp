// Every bundled syntax package colours a small, ordinary text of its language, and a few named
// spans of it get the kind a reader expects: strings as strings, comments as comments, and
// quote characters, hash signs and apostrophes that are neither leave what follows alone.
#include "SyntaxTestSupport.h"

#include "platform/foundation/Bundle.h"
#include "syntax/SyntaxParser.h"

#include <QDir>

#include <gtest/gtest.h>

#include <map>

using namespace korimado;
using namespace korimado::test;

namespace {

using K = SyntaxTokenKind;

struct Expect {
    enum Mode { exact, within, absent };
    QString text;
    K kind;
    Mode mode;
    int occurrence;  // which occurrence of text in the sample, from 1
};

// A token of this kind covers exactly the span.
Expect is(const char* text, K kind, int occurrence = 1)
{
    return {QString::fromUtf8(text), kind, Expect::exact, occurrence};
}
// A token of this kind covers the span (and maybe more).
Expect in(const char* text, K kind, int occurrence = 1)
{
    return {QString::fromUtf8(text), kind, Expect::within, occurrence};
}
// No token of this kind touches the span.
Expect no(const char* text, K kind, int occurrence = 1)
{
    return {QString::fromUtf8(text), kind, Expect::absent, occurrence};
}

struct Sample {
    const char* text;
    std::vector<Expect> expectations;
};

const K comment = K::comment, string = K::string, number = K::number, keyword = K::keyword, type = K::type,
        attribute = K::attribute, variable = K::variable;

// Package name to its sample. Written for this test; every bundled package must have one.
const std::map<QString, Sample>& samples()
{
    static const std::map<QString, Sample> table = {
        {"Ada", {R"~(with Ada.Text_IO; use Ada.Text_IO;
procedure Greet is
   -- don't shout
   Name : constant String := "Ann ""the"" first";
   C : Character := 'x';
begin
   Put_Line (Name & Integer'Image (Name'Length));
end Greet;
)~",
                 {is("-- don't shout", comment), is(R"("Ann ""the"" first")", string), is("'x'", number),
                  is("'Image", attribute), is("procedure", keyword), is("Integer", type)}}},
        {"Apache", {R"~(# site's main host
<VirtualHost *:80>
    ServerName example.test
    RewriteEngine On
    RewriteRule ^/old/(.*)$ /new/$1 [R=301,L]
    Header set X-Note "it's \"quoted\""
</VirtualHost>
)~",
                    {is("# site's main host", comment), is("ServerName", keyword), is("<VirtualHost", type),
                     is("$1", variable), is("[R=301,L]", attribute), is(R"("it's \"quoted\"")", string)}}},
        {"AsciiDoc", {R"~(= Guide
:author: Ann

== Install

NOTE: Run `make install` first, it's quick.

// a comment about {author}
See link:https://example.test/[the site].
)~",
                      {is("= Guide", type), is(":author:", attribute), is("`make install`", string),
                       is("// a comment about {author}", comment), no("it's quick", string)}}},
        {"Assembly", {R"~(section .text
global _start
_start:
    mov rax, 60      ; exit, don't return
    mov rdi, 0x0A
    db "a;b", 0
)~",
                      {is("_start:", type), is("; exit, don't return", comment), is("\"a;b\"", string),
                       is("rax", variable), no("0x0A", comment)}}},
        {"AWK", {R"~(#!/usr/bin/awk -f
# count the lines that don't match
BEGIN { FS = "," }
!/error/ { n++; print $1, "it's \"ok\"" }
END { printf "%d\n", NR }
)~",
                 {is("# count the lines that don't match", comment), is("/error/", string), is("$1", variable),
                  is(R"("it's \"ok\"")", string), is("NR", type), is("BEGIN", keyword)}}},
        {"Batch File", {R"~(@echo off
rem set up the build, don't pause
set NAME=world
if "%NAME%"=="" goto :eof
:: comment line
echo Hello %NAME%
)~",
                        {is("rem set up the build, don't pause", comment), is(":: comment line", comment),
                         in("%NAME%", variable, 2), is("echo", keyword, 2)}}},
        {"BibTeX", {R"~(% don't cite this
@article{knuth1984,
  author = {Donald E. Knuth},
  title = "Literate Programming",
  year = 1984,
}
)~",
                    {is("% don't cite this", comment), is("@article", keyword), in("author", attribute),
                     is("\"Literate Programming\"", string), is("{Donald E. Knuth}", string)}}},
        {"C#", {R"~(// Greets; it's a demo
[Serializable]
public class Greeter {
    public string Greet(string who) {
        var path = @"C:\temp\";
        char c = '"';
        return "Hi \"" + who + "\" /* not a comment */";
    }
}
)~",
                {is("// Greets; it's a demo", comment), is(R"(@"C:\temp\")", string), is(R"('"')", number),
                 is(R"("Hi \"")", string), is(R"("\" /* not a comment */")", string), is("class", keyword),
                 is("Greeter", type)}}},
        {"Clojure", {R"~((ns app.core)
;; square, doesn't check
(defn square [x] (* x x))
(def m {:name "it's \"x\"" :re #"a+" :c \a})
)~",
                     {is(";; square, doesn't check", comment), is("defn", keyword), is(":name", keyword),
                      is(R"("it's \"x\"")", string), is(R"(#"a+")", string)}}},
        {"CMake", {R"~(cmake_minimum_required(VERSION 3.25)
project(demo CXX)
# don't build the docs
set(SRC "main.cpp" "it's \"quoted\".cpp")
add_executable(demo ${SRC})
if(DEFINED X AND NOT Y)
endif()
)~",
                   {is("# don't build the docs", comment), is("${SRC}", variable), is("project", keyword),
                    is(R"("it's \"quoted\".cpp")", string), is("AND", type)}}},
        {"COBOL", {R"~(       IDENTIFICATION DIVISION.
       PROGRAM-ID. HELLO.
      * it's a comment
       DATA DIVISION.
       WORKING-STORAGE SECTION.
       01 WS-NAME PIC X(10) VALUE 'ANN'.
       PROCEDURE DIVISION.
           DISPLAY "HI" *> says hi
           STOP RUN.
)~",
                   {is("      * it's a comment", comment), is("*> says hi", comment), is("'ANN'", string),
                    is("\"HI\"", string), is("DISPLAY", keyword)}}},
        {"CoffeeScript", {R"~(# greeter, doesn't shout
class Greeter
  constructor: (@name) ->
  hello: -> "hi #{@name}, it's \"me\""
square = (x) -> x * x
)~",
                          {is("# greeter, doesn't shout", comment), is("Greeter", type), is("@name", variable),
                           is(R"("hi #{@name}, it's \"me\"")", string), is("class", keyword)}}},
        {"Crystal", {R"~(# point, don't mutate
struct Point
  def initialize(@x : Int32)
  end
  def label
    "x is \"#{@x}\""
  end
end
c = 'a'
)~",
                     {is("# point, don't mutate", comment), is("struct", keyword), is("Point", type),
                      is(R"("x is \"#{@x}\"")", string), is("'a'", number)}}},
        {"CSV", {R"~(name,age,"city, state"
Ann,36,"London, ""UK"""
)~",
                 {in("\"city, state\"", type), is(R"("London, ""UK""")", string), is(",", keyword, 4)}}},
        {"D", {R"~(module app;
import std.stdio;
/+ nested, don't mind +/
void main() {
    char c = '\'';
    writeln("say \"hi\"", `raw\`);
}
)~",
               {is("/+ nested, don't mind +/", comment), is(R"('\'')", number), is(R"("say \"hi\"")", string),
                is(R"(`raw\`)", string), is("void", type)}}},
        {"Dart", {R"~(// it's a demo
class Point {
  final int x;
  String show() => 'x = $x, it\'s "fine"';
}
void main() => print("done");
)~",
                  {is("// it's a demo", comment), is(R"('x = $x, it\'s "fine"')", string), is("\"done\"", string),
                   is("class", keyword), is("Point", type)}}},
        {"Diff", {R"~(diff --git a/x.c b/x.c
--- a/x.c
+++ b/x.c
@@ -1,2 +1,2 @@ int main()
-old line
+new "line"
 same
)~",
                  {is("diff --git a/x.c b/x.c", comment), is("--- a/x.c", type), is("@@ -1,2 +1,2 @@", keyword),
                   is("+new \"line\"", string), is("-old line", variable)}}},
        {"Dockerfile", {R"~(# syntax=docker/dockerfile:1
FROM debian:12 AS build
# don't cache this
RUN echo "it's \"$HOME\"" && echo run from here
COPY --chown=app . /src
cmd ["./app"]
)~",
                        {is("FROM", keyword), is("AS", keyword), is("RUN", keyword), is("cmd", keyword),
                         is("# don't cache this", comment), is(R"("it's \"$HOME\"")", string), no("run", keyword),
                         no("from", keyword), is("--chown", attribute)}}},
        {"Elixir", {R"~(defmodule Greeter do
  # it's a greeter
  def hello(name) do
    {:ok, "hi \"#{name}\"", ~r/a+/i, ?a}
  end
end
)~",
                    {is("# it's a greeter", comment), is(":ok", keyword), is(R"("hi \"#{name}\"")", string),
                     is("~r/a+/i", string), is("Greeter", type)}}},
        {"Elm", {R"~(module Main exposing (main)
-- don't export more
type alias Model = { name : String }
greet : Model -> String
greet m = "hi \"" ++ m.name ++ "\""
c = 'x'
)~",
                 {is("-- don't export more", comment), is(R"("hi \"")", string), is("'x'", number),
                  is("Model", type), is("->", keyword)}}},
        {"Erlang", {R"~(-module(demo).
-export([start/1]).
% start it, don't link
start(Name) when is_list(Name) ->
    io:format("hi \"~s\"~n", [Name]), 'quoted atom'.
)~",
                    {is("-module", keyword), is("% start it, don't link", comment), is(R"("hi \"~s\"~n")", string),
                     is("'quoted atom'", keyword), is("Name", variable)}}},
        {"F#", {R"~(module App
(* types, don't mind *)
type Shape = Circle of float
let greet name = printfn "hi \"%s\"" name
let c = 'x'
)~",
                {is("(* types, don't mind *)", comment), is(R"("hi \"%s\"")", string), is("'x'", number),
                 is("let", keyword), is("Shape", type)}}},
        {"Fortran", {R"~(program hello
  implicit none
  ! it's a greeting
  print *, 'don''t', "say ""hi"""
end program
)~",
                     {is("! it's a greeting", comment), is("'don''t'", string), is(R"("say ""hi""")", string),
                      is("program", keyword)}}},
        {"Git Config", {R"~(# user's settings
[user]
	name = Ann
	email = "ann@example.test"
[alias]
	lg = "log --graph \"x\""
)~",
                        {is("# user's settings", comment), is("[user]", type), in("name", attribute),
                         is(R"("log --graph \"x\"")", string)}}},
        {"Go", {R"~(package main

import "fmt"

// Point is a type; it's small.
type Point struct{ x int }

func main() {
	r := '\''
	fmt.Println("say \"hi\"", `raw\`, 1_000)
}
)~",
                {is("// Point is a type; it's small.", comment), is(R"('\'')", number), is(R"("say \"hi\"")", string),
                 is(R"(`raw\`)", string), is("1_000", number), is("func", keyword)}}},
        {"GraphQL", {R"~(# the user's query
query GetUser($id: ID!) {
  user(id: $id) @include(if: true) { name }
}
type User { note: String @deprecated(reason: "don't \"use\"") }
)~",
                     {is("# the user's query", comment), is("$id", variable), is("@include", attribute),
                      is(R"("don't \"use\"")", string), is("query", keyword, 2)}}},
        {"Groovy", {R"~(// build, don't cache
@CompileStatic
class Greeter {
  def greet(String name) {
    println "Hello \"${name}\""
    return 'it\'s done'
  }
}
)~",
                    {is("// build, don't cache", comment), is("@CompileStatic", attribute),
                     is(R"("Hello \"${name}\"")", string), is(R"('it\'s done')", string), is("class", keyword)}}},
        {"Haskell", {R"~(module Main where
-- it's the entry
data Shape = Circle Double
main :: IO ()
main = putStrLn "say \"hi\"" >> print (foldl' (+) 0 [1, 2]) >> print 'c'
)~",
                     {is("-- it's the entry", comment), is(R"("say \"hi\"")", string), is("'c'", number),
                      no("' (+) 0 [1, 2]) >> print '", string), is("data", keyword), is("Shape", type)}}},
        {"HCL", {R"~(# variables, don't commit
variable "region" {
  type = string
}
resource "aws_s3_bucket" "logs" {
  bucket = "${var.region}-logs \"x\""
}
)~",
                 {is("# variables, don't commit", comment), is("\"region\"", string), is("variable", keyword, 2),
                  in("${var.region}", string), in("bucket", attribute, 2)}}},
        {"INI", {R"~(; server settings
[server]
host = localhost
port: 8080
color=#ff0000
url = http://x/#a;b
# it's a comment
enabled = true
name = "demo"
)~",
                 {is("; server settings", comment), is("# it's a comment", comment), is("[server]", type),
                  is("host", attribute), is("localhost", string), is("8080", number), in("#ff0000", string),
                  is("http://x/#a;b", string), no("#a;b", comment), no("#ff0000", comment), is("true", keyword),
                  is("\"demo\"", string)}}},
        {"Java", {R"~(package demo;
/** It's documented. */
@Deprecated
public final class Main {
    public static void main(String[] args) {
        char q = '"';
        System.out.println("say \"hi\" // not a comment");
    }
}
)~",
                  {is("/** It's documented. */", comment), is("@Deprecated", attribute), is(R"('"')", number),
                   is(R"("say \"hi\" // not a comment")", string), is("class", keyword), is("String", type)}}},
        {"JSX", {R"~(// the app, don't render twice
export default function App({ name }) {
  return <div className="app" title='it\'s'>
    <Title text={`hi ${name}`} />
  </div>;
}
)~",
                 {is("// the app, don't render twice", comment), is("\"app\"", string), is(R"('it\'s')", string),
                  is("`hi ${name}`", string), is("<Title", type), is("function", keyword)}}},
        {"Julia", {R"~(module Demo
# it's a demo
struct Point
    x::Float64
end
greet(p) = println("x is \"$(p.x)\"", 'c', :sym)
end
)~",
                   {is("# it's a demo", comment), is(R"("x is \"$(p.x)\"")", string), is("'c'", number),
                    is(":sym", keyword), is("struct", keyword)}}},
        {"Kotlin", {R"~(// it's the entry
@JvmInline
value class Id(val v: Int)
fun main() {
    val c = '\''
    println("id \"$c\" ${c}")
}
)~",
                    {is("// it's the entry", comment), is("@JvmInline", attribute), is(R"('\'')", number),
                     in("$c", string), is("fun", keyword), is("Int", type)}}},
        {"LaTeX", {R"~(\documentclass[a4paper]{article}
% it's the preamble
\begin{document}
\section{Intro}
It's John's text with $x^2$ in it.
\end{document}
)~",
                   {is("% it's the preamble", comment), is("\\section", keyword), is("$x^2$", string),
                    is("[a4paper]", attribute), no("It's John's", string), is("document", type, 2)}}},
        {"Less", {R"~(// vars, don't inline
@main: #336699;
.card {
  color: darken(@main, 10%);
  content: "it's \"here\"";
}
)~",
                  {is("// vars, don't inline", comment), is("@main", variable), is("#336699", number),
                   is(R"("it's \"here\"")", string), is("darken", keyword)}}},
        {"Lisp", {R"~((in-package :cl-user)
;; it's a square
(defvar *count* 0)
(defun square (x &optional (y 1))
  (format t "~a \"~a\"~%" (* x x) #\a))
)~",
                  {is(";; it's a square", comment), is("*count*", variable), is("&optional", attribute),
                   is(R"("~a \"~a\"~%")", string), is("defun", keyword), is("#\\a", number)}}},
        {"Lua", {R"~(-- a module, don't require twice
local M = {}
--[==[ long
comment ]==]
function M.greet(name)
  return "hi \"" .. name .. '\'s' .. [[raw]]
end
return M
)~",
                 {is("-- a module, don't require twice", comment), is("--[==[ long\ncomment ]==]", comment),
                  is(R"("hi \"")", string), is(R"('\'s')", string), is("[[raw]]", string), is("function", keyword)}}},
        {"Makefile", {R"~(# build, don't touch
CC ?= cc
OBJS := $(patsubst %.c,%.o,$(wildcard *.c))
.PHONY: all
all: app
app: $(OBJS)
	$(CC) -o $@ $^ -DNAME='"x"'
)~",
                      {is("# build, don't touch", comment), is("CC", variable), is(".PHONY", attribute),
                       is("$@", variable), is("all", type, 2)}}},
        {"MATLAB", {R"~(% stats, don't plot
function [s, m] = stats(x)
  s = sum(x') * pi;
  m = 'it''s';
  disp("two ""quoted""");
end
)~",
                    {is("% stats, don't plot", comment), is("'it''s'", string), is(R"("two ""quoted""")", string),
                     no("') * pi;", string), is("function", keyword)}}},
        {"nginx", {R"~(# main, don't edit
worker_processes 4;
http {
  server {
    listen 80;
    location ~ /api {
      add_header X-Note "it's \"ok\"";
      proxy_pass http://backend$request_uri;
    }
  }
}
)~",
                   {is("# main, don't edit", comment), is("worker_processes", keyword), is("$request_uri", variable),
                    is(R"("it's \"ok\"")", string), is("80", number)}}},
        {"Nim", {R"~(# it's a demo
type
  Point* = object
    x: int
proc show*(p: Point): string {.inline.} =
  result = "x is \"" & $p.x & "\"" & $'c'
)~",
                 {is("# it's a demo", comment), is("{.inline.}", attribute), is(R"("x is \"")", string),
                  is("'c'", number), is("proc", keyword)}}},
        {"Nix", {R"~(# package, don't pin
{ pkgs ? import <nixpkgs> {} }:
pkgs.stdenv.mkDerivation {
  name = "demo \"x\"";
  src = ./src;
  buildPhase = ''
    make ${name}
  '';
}
)~",
                 {is("# package, don't pin", comment), is(R"("demo \"x\"")", string), is("<nixpkgs>", string),
                  is("./src", string), is("name", attribute), is("import", keyword)}}},
        {"Objective-C", {R"~(#import <Foundation/Foundation.h>
// it's the app
@interface Greeter : NSObject
@end
@implementation Greeter
- (void)greet {
    char c = '\'';
    NSLog(@"hi \"%@\"", self);
}
@end
)~",
                         {is("// it's the app", comment), is("@interface", keyword), is(R"('\'')", number),
                          is(R"(@"hi \"%@\"")", string), is("NSObject", type)}}},
        {"OCaml", {R"~((* it's a demo *)
module M = struct
  type 'a t = A of 'a [@@deriving show]
  let f x = if x then 'c' else '\''
  let s = "say \"hi\""
end
)~",
                   {is("(* it's a demo *)", comment), is("'c'", number), is(R"('\'')", number),
                    is(R"("say \"hi\"")", string), no("'a t = A of '", string), is("struct", keyword)}}},
        {"Pascal", {R"~(program Hello;
// it's the entry
{ a comment, don't mind }
begin
  WriteLn('it''s ', 'done', #10);
end.
)~",
                    {is("// it's the entry", comment), is("{ a comment, don't mind }", comment),
                     is("'it''s '", string), is("#10", number), is("begin", keyword)}}},
        {"Perl", {R"~(#!/usr/bin/perl
use strict;
# it's a greeting
my $name = "Ann \"A\"";
print 'it\'s ', "$name\n";

=pod

The rest is documentation, with no end marker.
)~",
                  {is("# it's a greeting", comment), is("$name", variable), is(R"("Ann \"A\"")", string),
                   is(R"('it\'s ')", string), in("The rest is documentation", comment), is("my", keyword)}}},
        {"PHP", {R"~(<?php
// it's the app
# also a comment
final class Greeter {
    public function greet(string $name): string {
        return "hi \"$name\"" . 'it\'s';
    }
}
)~",
                 {is("// it's the app", comment), is("# also a comment", comment), is("$name", variable),
                  is(R"("hi \"$name\"")", string), is(R"('it\'s')", string), is("class", keyword)}}},
        {"PowerShell", {R"~(<# help, don't skip #>
function Get-Greeting {
    param([string]$Name)
    # it's a greeting
    if ($Name -eq "") { $Name = 'it''s you' }
    Write-Output "Hi $Name`t"
}
)~",
                        {is("<# help, don't skip #>", comment), is("# it's a greeting", comment), is("$Name", variable),
                         is("'it''s you'", string), is("\"Hi $Name`t\"", string), is("-eq", keyword)}}},
        {"Properties", {R"~(# app settings, don't share
app.name = Demo
color=#ff0000
url = http://x/#a!b
msg=caf\u00e9 au lait
! legacy comment
)~",
                        {is("# app settings, don't share", comment), is("! legacy comment", comment),
                         is("app.name", attribute), is("Demo", string), in("#ff0000", string), is("http://x/#a!b", string),
                         no("#ff0000", comment), is("\\u00e9", number), is(" au lait", string)}}},
        {"Protocol Buffers", {R"~(syntax = "proto3";
// a user, don't reuse numbers
message User {
  string name = 1 [deprecated = true];
  string note = 2 [default = "it's \"x\""];
}
)~",
                              {is("\"proto3\"", string), is("// a user, don't reuse numbers", comment),
                               is("message", keyword), is("User", type), is("string", type)}}},
        {"R", {R"~(# Setup ----
square <- function(x) {
  x^2  # it's squared
}
n <- 10L
label <- paste("say \"hi\"", 'it\'s')
)~",
               {is("# it's squared", comment), is("<-", keyword), is("10L", number), is(R"("say \"hi\"")", string),
                is(R"('it\'s')", string), is("function", keyword)}}},
        {"reStructuredText", {R"~(Title
=====

It's a note about ``code`` and :ref:`that`.

.. a comment, don't show

.. note:: Read this.
)~",
                              {is("=====", type), is("``code``", string), is(":ref:`that`", variable),
                               is(".. a comment, don't show", comment), is(".. note::", keyword), no("It's", string)}}},
        {"Ruby", {R"~(# it's the app
module App
  class Greeter
    def greet(who: nil)
      @n = %w[a b]
      puts "hi \"#{who}\"", 'it\'s'
    end
  end
end
)~",
                  {is("# it's the app", comment), is("@n", variable), is("%w[a b]", string),
                   is(R"("hi \"#{who}\"")", string), is(R"('it\'s')", string), is("Greeter", type)}}},
        {"Rust", {R"~(// a point; it's small
#[derive(Debug)]
pub struct Point<'a> { name: &'a str }
impl<'a> Point<'a> {
    pub fn new() -> Self {
        let q = '\'';
        println!("say \"hi\" /* here */", r#"raw "x""#);
        todo!()
    }
}
)~",
                  {is("// a point; it's small", comment), is("#[derive(Debug)]", attribute), is("'a", variable),
                   is("'a", variable, 3), is(R"('\'')", number), is(R"("say \"hi\" /* here */")", string),
                   is(R"~(r#"raw "x""#)~", string), is("println!", keyword), no("'a> { name: &'", string)}}},
        {"Sass", {R"~(// base, don't import twice
$main: #333
=center
  margin: 0 auto
.card
  color: $main
  content: "it's \"x\""
)~",
                  {is("// base, don't import twice", comment), is("$main", variable), is("#333", number),
                   is(R"("it's \"x\"")", string), is(".card", type)}}},
        {"Scala", {R"~(// it's the app
@main
object Main {
  def greet(name: String): Unit =
    println(s"hi \"$name\" ${'c'}")
}
)~",
                   {is("// it's the app", comment), is("@main", attribute), in("$name", string), is("object", keyword),
                    is("String", type)}}},
        {"Scheme", {R"~(; it's a demo
(define (square x) (* x x))
(display "say \"hi\"" #\a) #t
#| block, don't mind |#
)~",
                    {is("; it's a demo", comment), is(R"("say \"hi\"")", string), is("#\\a", number), is("#t", keyword),
                     is("#| block, don't mind |#", comment), is("define", keyword)}}},
        {"SCSS", {R"~(// base, don't import twice
@use "sass:math";
$main: #336699;
.card {
  color: $main;
  content: 'it\'s';
}
)~",
                  {is("// base, don't import twice", comment), is("@use", keyword), is("\"sass:math\"", string),
                   is("$main", variable), is(R"('it\'s')", string), is("#336699", number)}}},
        {"Sed", {R"~(#!/bin/sed -f
# tidy, don't touch
:top
s/foo/bar/g
/^$/d
t top
)~",
                 {is("# tidy, don't touch", comment), is(":top", type), is("s/foo/bar/g", string), is("/^$/", string)}}},
        {"Solidity", {R"~(// SPDX-License-Identifier: MIT
pragma solidity ^0.8.0;
contract Vault {
    // it's a vault
    mapping(address => uint256) public balance;
    string note = "say \"hi\"";
}
)~",
                      {is("// it's a vault", comment), is("contract", keyword), is("uint256", type),
                       is(R"("say \"hi\"")", string), is("Vault", type)}}},
        {"Svelte", {R"~(<script>
  // it's the script
  export let name = 'it\'s';
</script>
<!-- view, don't cache -->
{#if name}
  <button on:click={greet} class="b">Hi {name}</button>
{/if}
)~",
                    {is("// it's the script", comment), is(R"('it\'s')", string), is("<!-- view, don't cache -->", comment),
                     is("{#if", keyword), is("on:click", attribute), is("\"b\"", string)}}},
        {"Tcl", {R"~(# greet, don't exit
proc greet {name} {
    set n [string length $name]
    puts -nonewline "hi \"$name\" $n"
}
)~",
                 {is("# greet, don't exit", comment), is("$name", variable), is("-nonewline", attribute),
                  is(R"("hi \"$name\" $n")", string), is("proc", keyword)}}},
        {"TOML", {R"~(# app, don't commit
title = "demo \"x\""
path = 'C:\temp\'
[server]
port = 8_080
started = 2024-01-02T03:04:05Z
)~",
                  {is("# app, don't commit", comment), is(R"("demo \"x\"")", string), is(R"('C:\temp\')", string),
                   is("[server]", type), is("title", attribute), is("2024-01-02T03:04:05Z", number)}}},
        {"Verilog", {R"~(`timescale 1ns/1ps
// a counter, don't reset
module counter(input clk, output reg [3:0] q);
  always @(posedge clk) q <= q + 4'b0001;
  initial $display("go \"now\"");
endmodule
)~",
                     {is("// a counter, don't reset", comment), is("`timescale", keyword), is("4'b0001", number),
                      is("$display", variable), is(R"("go \"now\"")", string), is("module", keyword)}}},
        {"VHDL", {R"~(library ieee;
-- a counter, don't reset
entity counter is
  port (clk : in std_logic);
end entity;
architecture rtl of counter is
begin
  report "say ""hi""";
  x <= '1' when clk'event;
end rtl;
)~",
                  {is("-- a counter, don't reset", comment), is(R"("say ""hi""")", string), is("'1'", number),
                   is("'event", attribute), is("entity", keyword), is("std_logic", type)}}},
        {"Vim Script", {R"~(" settings, don't source twice
set number
let g:name = "it's \"me\""
echo "hi " . g:name
call s:Greet("you")
nnoremap <silent> <leader>g :call <SID>Greet('don''t')<CR>
set nowrap " a trailing comment
)~",
                        {is("\" settings, don't source twice", comment), in("\"it's \\\"me\\\"\"", string),
                         no("\"it's", comment), in("\"hi \"", string), no("\"hi", comment), in("\"you\"", string),
                         no("\"you\"", comment), is("'don''t'", string), is("\" a trailing comment", comment),
                         is("g:name", variable), is("<silent>", attribute)}}},
        {"Visual Basic", {R"~(Imports System
' it's the entry
Public Module Program
    Sub Main()
        Dim s As String = "say ""hi"""
        Console.WriteLine(s) ' done
    End Sub
End Module
)~",
                          {is("' it's the entry", comment), is(R"("say ""hi""")", string), is("' done", comment),
                           is("Module", keyword), is("String", type)}}},
        {"Vue", {R"~(<template>
  <!-- view, don't cache -->
  <button v-if="ok" @click="greet">{{ name }}</button>
</template>
<script setup>
// it's the script
const name = 'it\'s'
</script>
)~",
                 {is("<!-- view, don't cache -->", comment), is("v-if", attribute), is("\"ok\"", string),
                  is("{{ name }}", variable), is("// it's the script", comment), is(R"('it\'s')", string)}}},
        {"XML", {R"~(<?xml version="1.0"?>
<!-- a note, don't parse -->
<note id="n1" lang='en'>
  <body>It's Tom &amp; Ann's<![CDATA[raw <b> "x"]]></body>
</note>
)~",
                 {is("<!-- a note, don't parse -->", comment), is("\"n1\"", string), is("'en'", string),
                  is("&amp;", number), is("<![CDATA[raw <b> \"x\"]]>", string), no("'s Tom &amp; Ann'", string),
                  is("<note", type)}}},
        {"YAML", {R"~(# app settings, don't share
name: demo
url: http://x/#a # the real comment
port: 8080
enabled: true
note: it's Ann's
quoted: 'it''s' # after a string
list:
  - "a \"b\""
  - plain item
)~",
                  {is("# app settings, don't share", comment), is("name", attribute), is("demo", string),
                   is("http://x/#a", string), no("#a", comment), is("# the real comment", comment), is("8080", number),
                   is("true", keyword), is("it's Ann's", string), is("'it''s'", string), is("# after a string", comment),
                   is(R"("a \"b\"")", string), is("plain item", string)}}},
        {"Zig", {R"~(const std = @import("std");
// a point; it's small
pub const Point = struct { x: i32 };
pub fn main() !void {
    const c = '\'';
    std.debug.print("say \"hi\"", .{});
}
)~",
                 {is("// a point; it's small", comment), is("@import", keyword), is(R"('\'')", number),
                  is(R"("say \"hi\"")", string), is("i32", type), is("fn", keyword)}}},
    };
    return table;
}

QString describeAround(const QString& text, const std::vector<SyntaxTokenSpan>& tokens)
{
    return describe(text, tokens).join(QStringLiteral("\n    "));
}

}  // namespace

TEST(BundledLanguageSamples, NamedSpansGetTheirKinds)
{
    const QString folder = Bundle::main().resourcePath() + "/Syntaxes";
    const QStringList packages = QDir(folder).entryList({"*.cotsyntax"}, QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    ASSERT_FALSE(packages.isEmpty());

    for (const QString& package : packages) {
        const QString name = package.chopped(QStringLiteral(".cotsyntax").size());
        SCOPED_TRACE(name.toStdString());
        const auto sample = samples().find(name);
        const std::optional<SyntaxLanguage> language = CotSyntaxCatalog::loadPackage(folder + '/' + package, 1);
        if (sample == samples().end() || !language) {
            ADD_FAILURE() << "every bundled package needs a sample here, and must load";
            continue;
        }

        const QString text = QString::fromUtf8(sample->second.text);
        const SyntaxParser::Result result = SyntaxParser::parse(text, *language);
        EXPECT_FALSE(result.truncated);
        for (const Expect& expect : sample->second.expectations) {
            qsizetype at = -1;
            for (int n = 0; n < expect.occurrence; ++n) at = text.indexOf(expect.text, at + 1);
            if (at < 0) {
                ADD_FAILURE() << "not in the sample: " << expect.text.toStdString();
                continue;
            }
            const TextRange span(at, expect.text.size());
            bool exact = false;
            bool within = false;
            bool touched = false;
            for (const SyntaxTokenSpan& token : result.tokens) {
                if (token.kind != expect.kind) continue;
                exact = exact || token.range == span;
                within = within || (token.range.location <= span.location && token.range.end() >= span.end());
                touched = touched || (token.range.location < span.end() && span.location < token.range.end());
            }
            const bool met = expect.mode == Expect::exact ? exact : expect.mode == Expect::within ? within : !touched;
            EXPECT_TRUE(met) << (expect.mode == Expect::absent ? "no " : expect.mode == Expect::within ? "within " : "")
                             << rawValue(expect.kind).toStdString() << ": " << expect.text.toStdString() << "\n  tokens:\n    "
                             << describeAround(text, result.tokens).toStdString();
        }
    }
    EXPECT_EQ(samples().size(), static_cast<size_t>(packages.size())) << "a sample of a package that is gone";
}
