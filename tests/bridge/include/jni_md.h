// Machine-dependent JNI types and calling convention of 32-bit Windows, for the programs here that
// call a jvm.dll the way a Windows launcher does (the machine's own jni_md.h describes Linux).
#ifndef _JAVASOFT_JNI_MD_H_
#define _JAVASOFT_JNI_MD_H_

#define JNIEXPORT __declspec(dllexport)
#define JNIIMPORT __declspec(dllimport)
#define JNICALL __stdcall

typedef long jint;
typedef long long jlong;
typedef signed char jbyte;

#endif
